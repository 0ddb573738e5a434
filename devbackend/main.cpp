// solvanter-dev-backend: runs DevBackend until SIGINT/SIGTERM.

#include "dev_backend.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <string>

#include <pthread.h>

namespace {

const char* const kUsage =
    "Usage: solvanter-dev-backend [options]\n"
    "Serves the Solvanter backend protocol on 127.0.0.1 for local runs.\n"
    "  --port N                      port to listen on (default 18230, 0 = any free port)\n"
    "  --builds DIR                  folder served under /builds/\n"
    "  --app-version V               app version offered (default 1.0.0)\n"
    "  --app-archive NAME            app archive file name in the builds folder (default app.zip)\n"
    "  --launcher-update VERSION ARCHIVE_NAME TIMES\n"
    "                                offer launcher VERSION until ARCHIVE_NAME was served TIMES times\n"
    "  --reply PATH FILE             answer PATH with FILE's bytes as JSON, status 200\n"
    "  --reply-status PATH STATUS FILE\n"
    "                                the same with that HTTP status\n"
    "  --redirect PATH LOCATION      answer PATH with a 302 to LOCATION\n"
    "  --port-file PATH              write the bound port to PATH once listening\n"
    "  --help                        show this text\n"
    "Logs one line per request to stdout; exits 0 on SIGINT or SIGTERM.\n";

bool parse_int(const std::string& s, int& out) {
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || v < 0 || v > 65535 * 1000) return false;
    out = static_cast<int>(v);
    return true;
}

int usage_error(const std::string& what) {
    std::cerr << "solvanter-dev-backend: " << what << "\n" << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 18230;
    std::string port_file;
    devbackend::DevBackend backend;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto need = [&](int n) { return i + n < argc; };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--port" && need(1)) {
            if (!parse_int(argv[++i], port) || port > 65535) return usage_error("bad port");
        } else if (arg == "--builds" && need(1)) {
            backend.set_builds_folder(argv[++i]);
        } else if (arg == "--app-version" && need(1)) {
            backend.set_app_version(argv[++i]);
        } else if (arg == "--app-archive" && need(1)) {
            backend.set_app_archive(argv[++i]);
        } else if (arg == "--launcher-update" && need(3)) {
            std::string version = argv[++i];
            std::string archive = argv[++i];
            int times = 0;
            if (!parse_int(argv[++i], times)) return usage_error("bad TIMES for --launcher-update");
            backend.set_launcher_update(version, archive, times);
        } else if (arg == "--reply" && need(2)) {
            std::string path = argv[++i];
            std::ifstream in(argv[++i], std::ios::binary);
            if (!in) return usage_error(std::string("cannot read ") + argv[i]);
            backend.script(path, devbackend::Reply::json(std::string(std::istreambuf_iterator<char>(in), {})), false);
        } else if (arg == "--reply-status" && need(3)) {
            std::string path = argv[++i];
            int status = 0;
            if (!parse_int(argv[++i], status) || status < 100 || status > 599) return usage_error("bad STATUS for --reply-status");
            std::ifstream in(argv[++i], std::ios::binary);
            if (!in) return usage_error(std::string("cannot read ") + argv[i]);
            backend.script(path, devbackend::Reply::json(std::string(std::istreambuf_iterator<char>(in), {}), status), false);
        } else if (arg == "--redirect" && need(2)) {
            std::string path = argv[++i];
            backend.script(path, devbackend::Reply::redirect(argv[++i]), false);
        } else if (arg == "--port-file" && need(1)) {
            port_file = argv[++i];
        } else {
            return usage_error("unknown or incomplete option: " + arg);
        }
    }

    // Block the stop signals before any server thread exists so only sigwait sees them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // clients hanging up must not kill the server

    std::mutex out_mu;
    backend.set_log([&out_mu](const std::string& line) {
        std::lock_guard<std::mutex> lock(out_mu);
        std::cout << line << std::endl;
    });

    if (!backend.start(port)) {
        std::cerr << "solvanter-dev-backend: cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }
    if (!port_file.empty()) {
        // Written then renamed so a reader never sees a partial number.
        std::string tmp = port_file + ".tmp";
        {
            std::ofstream out(tmp, std::ios::trunc);
            out << backend.port() << "\n";
        }
        if (std::rename(tmp.c_str(), port_file.c_str()) != 0) {
            std::cerr << "solvanter-dev-backend: cannot write " << port_file << "\n";
            backend.stop();
            return 1;
        }
    }
    {
        std::lock_guard<std::mutex> lock(out_mu);
        std::cout << "listening on " << backend.origin() << std::endl;
    }

    int sig = 0;
    sigwait(&stop_signals, &sig);
    backend.stop();
    std::lock_guard<std::mutex> lock(out_mu);
    std::cout << "stopped (signal " << sig << ")" << std::endl;
    return 0;
}
