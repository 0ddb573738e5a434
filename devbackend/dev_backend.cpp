#include "dev_backend.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <csignal>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace devbackend {
namespace {

const char* const kApiBase = "/launcher/Windows/";
const char* const kBuildsBase = "/builds/";

bool starts_with(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string url_path_encode(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// Splits the raw (still escaped) path on '/' into at most n segments, each then decoded, so an
// escaped "/" stays inside its segment. The last keeps any further unescaped slashes: older
// launchers sent installed versions unescaped.
std::vector<std::string> split_n(const std::string& s, std::size_t n) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (parts.size() + 1 < n) {
        std::size_t slash = s.find('/', pos);
        if (slash == std::string::npos) break;
        parts.push_back(httplib::detail::decode_url(s.substr(pos, slash - pos), false));
        pos = slash + 1;
    }
    parts.push_back(httplib::detail::decode_url(s.substr(pos), false));
    return parts;
}

std::optional<std::pair<std::string, int>> endpoint_of(const sockaddr_storage& a) {
    char buf[INET6_ADDRSTRLEN] = {};
    if (a.ss_family == AF_INET) {
        auto* in = reinterpret_cast<const sockaddr_in*>(&a);
        inet_ntop(AF_INET, &in->sin_addr, buf, sizeof buf);
        return std::make_pair(std::string(buf), static_cast<int>(ntohs(in->sin_port)));
    }
    if (a.ss_family == AF_INET6) {
        auto* in6 = reinterpret_cast<const sockaddr_in6*>(&a);
        inet_ntop(AF_INET6, &in6->sin6_addr, buf, sizeof buf);
        return std::make_pair(std::string(buf), static_cast<int>(ntohs(in6->sin6_port)));
    }
    return std::nullopt;
}

// httplib hands no socket to handlers and always writes a response, so to end
// a connection with no HTTP bytes at all (or with bytes of our own) we locate
// the accepted socket by its address pair, write to it and shut it down. Safe
// against fd reuse: the socket belongs to the calling worker thread, which
// cannot close it while we run.
bool shut_connection(const httplib::Request& req, int server_port, const std::string& bytes = {}) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return false;
    bool done = false;
    while (dirent* entry = readdir(dir)) {
        char* end = nullptr;
        long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(dir)) continue;
        sockaddr_storage local{}, peer{};
        socklen_t local_len = sizeof local, peer_len = sizeof peer;
        if (getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&local), &local_len) != 0 ||
            getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &peer_len) != 0) {
            continue;
        }
        auto l = endpoint_of(local);
        auto p = endpoint_of(peer);
        if (l && p && l->second == server_port && p->first == req.remote_addr &&
            p->second == req.remote_port) {
            for (std::size_t sent = 0; sent < bytes.size();) {
                ssize_t n = ::send(static_cast<int>(fd), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<std::size_t>(n);
            }
            done = ::shutdown(static_cast<int>(fd), SHUT_RDWR) == 0;
            break;
        }
    }
    closedir(dir);
    return done;
}

const char* mode_name(Reply::Mode m) {
    switch (m) {
    case Reply::Mode::normal: return "normal";
    case Reply::Mode::truncated: return "truncated";
    case Reply::Mode::no_content_length: return "chunked";
    case Reply::Mode::drop_connection: return "dropped";
    case Reply::Mode::endless: return "endless";
    case Reply::Mode::stalled: return "stalled";
    case Reply::Mode::length_first: return "length-first";
    }
    return "?";
}

}  // namespace

Reply Reply::json(std::string body, int status) {
    Reply r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

Reply Reply::message(int status, const std::string& text, const std::string& response_data_json) {
    return json("{\"message\":" + json_string(text) + ",\"response_data\":" + response_data_json + "}",
                status);
}

Reply Reply::redirect(std::string location, int status) {
    Reply r = json("{}", status);
    r.location = std::move(location);
    return r;
}

Reply Reply::file(std::string bytes, std::string content_type) {
    Reply r;
    r.body = std::move(bytes);
    r.content_type = std::move(content_type);
    return r;
}

Reply Reply::nested(std::size_t depth) {
    return json(std::string(depth, '[') + std::string(depth, ']'));
}

// The response of length_first mode: JUCE's curl transport loses the first header line.
static std::string length_first_response(const Reply& reply) {
    std::size_t sent = reply.truncate_after > 0 ? std::min(reply.truncate_after, reply.body.size()) : reply.body.size();
    return "HTTP/1.1 " + std::to_string(reply.status) + " OK\r\nContent-Length: " + std::to_string(reply.body.size()) +
           "\r\nContent-Type: " + reply.content_type + "\r\nConnection: close\r\n\r\n" + reply.body.substr(0, sent);
}

Reply& Reply::with_delay(int ms) {
    delay_ms = ms;
    return *this;
}

Reply& Reply::with_mode(Mode m, std::size_t truncate_after_bytes) {
    mode = m;
    truncate_after = truncate_after_bytes;
    return *this;
}

struct DevBackend::Impl {
    struct Script {
        std::deque<Reply> once;
        std::optional<Reply> always;
    };

    mutable std::mutex mu;
    std::condition_variable stop_cv;
    std::condition_variable request_cv;
    bool stopping = false;
    int port = 0;

    std::string builds_folder;
    std::string app_version = "1.0.0";
    std::string app_archive = "app.zip";
    std::string launcher_remote_version;
    std::string launcher_archive = "launcher.zip";
    int launcher_updates = 0;

    std::map<std::string, Script> scripts;
    std::vector<std::string> log;
    std::function<void(const std::string&)> log_fn;

    std::mutex lifecycle_mu;  // serialises start/stop
    std::unique_ptr<httplib::Server> server;
    std::thread listener;
    std::atomic<bool> listen_returned{false};

    std::string origin_locked() const { return "http://127.0.0.1:" + std::to_string(port); }

    bool take_script(const std::string& path, Reply& out) {
        auto it = scripts.find(path);
        if (it == scripts.end()) return false;
        if (!it->second.once.empty()) {
            out = std::move(it->second.once.front());
            it->second.once.pop_front();
            return true;
        }
        if (it->second.always) {
            out = *it->second.always;
            return true;
        }
        return false;
    }

    Reply build_file(const std::string& name) const {
        namespace fs = std::filesystem;
        fs::path rel = fs::path(name).lexically_normal();
        bool escapes = rel.empty() || rel.is_absolute() ||
                       std::any_of(rel.begin(), rel.end(), [](const fs::path& p) { return p == ".."; });
        if (builds_folder.empty() || escapes) return Reply::message(404, "no such build: " + name);
        std::ifstream in(fs::path(builds_folder) / rel, std::ios::binary);
        std::error_code ec;
        if (!in || !fs::is_regular_file(fs::path(builds_folder) / rel, ec)) {
            return Reply::message(404, "no such build: " + name);
        }
        // One read into a buffer of the file's size: large archives are read on every request.
        std::string bytes(static_cast<size_t>(fs::file_size(fs::path(builds_folder) / rel, ec)), '\0');
        if (ec || !in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
            return Reply::message(500, "cannot read build: " + name);
        }
        bool zip = rel.extension() == ".zip";
        return Reply::file(std::move(bytes), zip ? "application/zip" : "application/octet-stream");
    }

    // `path` decoded, `raw_path` as it came.
    Reply default_reply(const std::string& method, const std::string& path, const std::string& raw_path) const {
        if (method != "GET" && method != "HEAD") return Reply::message(405, "only GET is served");
        if (path == "/") return Reply::json(R"({"message":"Solvanter dev backend"})");
        if (starts_with(path, kBuildsBase)) return build_file(path.substr(std::string(kBuildsBase).size()));
        if (!starts_with(raw_path, kApiBase)) return Reply::message(404, "Not Found");

        auto parts = split_n(raw_path.substr(std::string(kApiBase).size()), 5);
        if (parts.size() < 4 || parts[3].empty()) return Reply::message(404, "Not Found");
        const std::string& call = parts[0];
        const std::string& kind = parts[1];
        const std::string& build_type = parts[2];
        bool plain_type = build_type == "current" || build_type == "latest";
        bool app_type = plain_type || build_type == "version";

        if (call == "check_version" && kind == "launcher" && parts.size() == 5) {
            if (!plain_type) return Reply::message(400, "unknown build type: " + build_type);
            bool up_to_date = launcher_updates <= 0;
            const std::string& remote =
                (up_to_date && launcher_remote_version.empty()) ? parts[4] : launcher_remote_version;
            return Reply::json(std::string("{\"result\":") + (up_to_date ? "true" : "false") +
                               ",\"remote_version\":" + json_string(remote) + "}");
        }
        if (call == "get_build_url" && kind == "launcher" && parts.size() == 4) {
            if (!plain_type) return Reply::message(400, "unknown build type: " + build_type);
            return Reply::json("{\"url\":" +
                               json_string(origin_locked() + kBuildsBase + url_path_encode(launcher_archive)) +
                               "}");
        }
        if (call == "check_version" && kind == "app" && parts.size() == 5) {
            if (!app_type) return Reply::message(400, "unknown build type: " + build_type);
            return Reply::json(std::string("{\"result\":") + (parts[4] == app_version ? "true" : "false") +
                               ",\"remote_version\":" + json_string(app_version) + "}");
        }
        if (call == "get_build_url" && kind == "app" && parts.size() == 4) {
            if (!app_type) return Reply::message(400, "unknown build type: " + build_type);
            return Reply::json("{\"url\":" +
                               json_string(origin_locked() + kBuildsBase + url_path_encode(app_archive)) + "}");
        }
        return Reply::message(404, "Not Found");
    }

    // Until stop(): a stalled reply's silence and an endless reply's stream end there.
    bool wait_for_stop(int ms) {
        std::unique_lock<std::mutex> lock(mu);
        return stop_cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping; });
    }

    void write_reply(const Reply& reply, httplib::Response& res) {
        res.status = reply.status;
        if (!reply.location.empty()) res.set_header("Location", reply.location);
        auto body = std::make_shared<const std::string>(reply.body);
        switch (reply.mode) {
        case Reply::Mode::endless:
            res.set_chunked_content_provider(reply.content_type, [this, body](std::size_t, httplib::DataSink& sink) {
                std::string block;
                while (block.size() < 65536) block += body->empty() ? std::string(" ") : *body;
                return !wait_for_stop(0) && sink.write(block.data(), block.size());
            });
            return;
        case Reply::Mode::stalled: {
            if (body->empty()) break;
            std::size_t cut = std::min(reply.truncate_after, body->size() - 1);
            res.set_content_provider(
                body->size(), reply.content_type,
                [this, body, cut](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    if (offset < cut) return sink.write(body->data() + offset, cut - offset);
                    while (!wait_for_stop(100)) {
                    }
                    return false;
                });
            return;
        }
        case Reply::Mode::truncated:
            if (!body->empty()) {
                std::size_t cut = std::min(reply.truncate_after, body->size() - 1);
                // Returning false after the cut makes httplib close the connection
                // with the announced Content-Length unmet.
                res.set_content_provider(
                    body->size(), reply.content_type,
                    [body, cut](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                        if (offset >= cut) return false;
                        return sink.write(body->data() + offset, std::min(length, cut - offset));
                    });
                return;
            }
            break;
        case Reply::Mode::no_content_length:
            res.set_chunked_content_provider(
                reply.content_type, [body](std::size_t offset, httplib::DataSink& sink) {
                    // A zero-length chunk would end the stream early.
                    if (offset < body->size() && !sink.write(body->data() + offset, body->size() - offset)) {
                        return false;
                    }
                    sink.done();
                    return true;
                });
            return;
        case Reply::Mode::normal:
        case Reply::Mode::drop_connection:
        case Reply::Mode::length_first:
            break;
        }
        res.set_content(reply.body, reply.content_type);
    }

    void handle(const httplib::Request& req, httplib::Response& res) {
        const std::string target = req.target.empty() ? req.path : req.target;
        const std::string raw_path = target.substr(0, target.find('?'));
        Reply reply;
        bool scripted = false;
        int server_port = 0;
        std::function<void(const std::string&)> log_line;
        {
            std::lock_guard<std::mutex> lock(mu);
            log.push_back(target);
            scripted = take_script(req.path, reply) || take_script(raw_path, reply);
            if (!scripted) reply = default_reply(req.method, req.path, raw_path);
            bool answered = reply.mode != Reply::Mode::drop_connection && reply.status >= 200 &&
                            reply.status < 300;
            if (answered && launcher_updates > 0 && req.path == kBuildsBase + launcher_archive) {
                --launcher_updates;
            }
            server_port = port;
            log_line = log_fn;
        }
        request_cv.notify_all();

        if (log_line) {
            std::string line = req.method + " " + target + " -> ";
            if (reply.mode == Reply::Mode::drop_connection) {
                line += "dropped";
            } else {
                line += std::to_string(reply.status) + " " + mode_name(reply.mode) + " " +
                        std::to_string(reply.body.size()) + " bytes";
            }
            if (reply.delay_ms > 0) line += " after " + std::to_string(reply.delay_ms) + " ms";
            if (scripted) line += " (scripted)";
            log_line(line);
        }

        if (reply.delay_ms > 0) {
            std::unique_lock<std::mutex> lock(mu);
            if (stop_cv.wait_for(lock, std::chrono::milliseconds(reply.delay_ms), [&] { return stopping; })) {
                reply.mode = Reply::Mode::drop_connection;  // the server is going away
            }
        }
        if (reply.mode == Reply::Mode::drop_connection || reply.mode == Reply::Mode::length_first) {
            shut_connection(req, server_port,
                            reply.mode == Reply::Mode::length_first ? length_first_response(reply) : std::string());
            res.status = 500;  // httplib writes this into the shut socket: nothing more leaves
            return;
        }
        write_reply(reply, res);
    }
};

DevBackend::DevBackend() : impl_(std::make_unique<Impl>()) {}

DevBackend::~DevBackend() { stop(); }

bool DevBackend::start(int port) {
    std::lock_guard<std::mutex> life(impl_->lifecycle_mu);
    if (impl_->server) return false;

    // A client that hangs up on an endless body must not end the process with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);

    auto server = std::make_unique<httplib::Server>();
    // Delayed replies hold a worker each; keep plenty so others are not starved.
    server->new_task_queue = [] { return new httplib::ThreadPool(32); };
    // httplib's default adds SO_REUSEPORT, which would let two backends share a port.
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // One request per connection: idle keep-alive connections would hold a
    // worker and make stop() wait for their time-out.
    server->set_keep_alive_max_count(1);
    server->set_keep_alive_timeout(1);
    Impl* impl = impl_.get();
    server->set_pre_routing_handler([impl](const httplib::Request& req, httplib::Response& res) {
        impl->handle(req, res);
        return httplib::Server::HandlerResponse::Handled;
    });

    int bound = port == 0 ? server->bind_to_any_port("127.0.0.1")
                          : (server->bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) return false;

    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        impl_->stopping = false;
        impl_->port = bound;
    }
    impl_->listen_returned = false;
    impl_->server = std::move(server);
    impl_->listener = std::thread([impl] {
        impl->server->listen_after_bind();
        impl->listen_returned = true;
    });
    // httplib's stop() is a no-op until its accept loop has begun.
    while (!impl_->server->is_running() && !impl_->listen_returned) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void DevBackend::stop() {
    std::lock_guard<std::mutex> life(impl_->lifecycle_mu);
    if (!impl_->server) return;
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        impl_->stopping = true;
    }
    impl_->stop_cv.notify_all();
    impl_->server->stop();
    if (impl_->listener.joinable()) impl_->listener.join();
    impl_->server.reset();
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->port = 0;
}

bool DevBackend::running() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->port != 0;
}

int DevBackend::port() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->port;
}

std::string DevBackend::origin() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->origin_locked();
}

void DevBackend::set_builds_folder(const std::string& dir) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->builds_folder = dir;
}

void DevBackend::set_app_version(const std::string& version) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->app_version = version;
}

void DevBackend::set_app_archive(const std::string& file_name) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->app_archive = file_name;
}

void DevBackend::set_launcher_update(const std::string& remote_version, const std::string& archive_file_name,
                                     int times) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->launcher_remote_version = remote_version;
    impl_->launcher_archive = archive_file_name;
    impl_->launcher_updates = std::max(0, times);
}

int DevBackend::launcher_updates_left() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->launcher_updates;
}

void DevBackend::script(const std::string& path, Reply reply, bool once) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    auto& entry = impl_->scripts[path.substr(0, path.find('?'))];
    if (once) {
        entry.once.push_back(std::move(reply));
    } else {
        entry.always = std::move(reply);
    }
}

void DevBackend::clear_scripts() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->scripts.clear();
}

std::vector<std::string> DevBackend::requests() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->log;
}

void DevBackend::clear_requests() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->log.clear();
}

bool DevBackend::wait_for_request(const std::string& prefix, int timeout_ms) {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->request_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
        return std::any_of(impl_->log.begin(), impl_->log.end(),
                           [&](const std::string& r) { return starts_with(r, prefix); });
    });
}

void DevBackend::set_log(std::function<void(const std::string&)> log) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->log_fn = std::move(log);
}

}  // namespace devbackend
