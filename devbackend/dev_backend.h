#pragma once

// A local stand-in for the Solvanter backend, served on 127.0.0.1 over HTTP.
// Usable in-process (tests) and through the solvanter-dev-backend program.
//
// Routes answered by default (all GET, JSON bodies):
//   /                                                          {"message":"Solvanter dev backend"}
//   /launcher/Windows/check_version/launcher/{current|latest}/{name}/{build}
//   /launcher/Windows/get_build_url/launcher/{current|latest}/{name}
//   /launcher/Windows/check_version/app/{current|latest|version}/{app}/{installed...}
// Each segment is matched percent-decoded, so an escaped "/" stays inside its segment.
//   /launcher/Windows/get_build_url/app/{current|latest|version}/{app}
//   /builds/{file}                                             file from the builds folder
// Anything else answers 404 {"message":...}; a bad build type answers 400.
//
// A scripted reply for an exact path (query ignored) replaces the default
// answer. One-shot replies are queued per path and used before an "always" one.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace devbackend {

struct Reply {
    enum class Mode {
        normal,             // full body with Content-Length
        truncated,          // full Content-Length, then close after truncate_after bytes
        no_content_length,  // chunked transfer encoding, no Content-Length header
        drop_connection,    // close the connection without sending any byte
        endless,            // chunked, the body repeated until the client hangs up or stop()
        stalled,            // full Content-Length, truncate_after bytes, then silence until stop()
        length_first        // written by hand with "Content-Length" as the very first header;
                            // only truncate_after bytes of the body when that is not 0
    };

    int status = 200;
    std::string body;  // any bytes
    std::string content_type = "application/json";
    int delay_ms = 0;  // wait before answering; cut short (and the connection dropped) by stop()
    Mode mode = Mode::normal;
    // Bytes of body sent in truncated mode; clamped so at least one byte is missing.
    std::size_t truncate_after = 0;
    std::string location;  // sent as "Location" when not empty

    static Reply json(std::string body, int status = 200);
    // {"message":<text>,"response_data":<response_data_json>} as the backend sends on errors.
    static Reply message(int status, const std::string& text,
                         const std::string& response_data_json = "null");
    static Reply file(std::string bytes, std::string content_type = "application/zip");
    // A redirect to `location`, taken as it is.
    static Reply redirect(std::string location, int status = 302);
    // A JSON array nested `depth` levels deep.
    static Reply nested(std::size_t depth);

    Reply& with_delay(int ms);
    Reply& with_mode(Mode m, std::size_t truncate_after_bytes = 0);
};

class DevBackend {
public:
    DevBackend();
    ~DevBackend();  // stops
    DevBackend(const DevBackend&) = delete;
    DevBackend& operator=(const DevBackend&) = delete;

    // Listens on 127.0.0.1; port 0 picks a free one. False if it cannot bind or
    // is already running. Can be started again after stop().
    bool start(int port = 0);
    // Ends pending delays, closes the listener and waits for in-flight requests.
    void stop();
    bool running() const;
    int port() const;            // 0 when stopped
    std::string origin() const;  // "http://127.0.0.1:PORT"

    // Defaults: no builds folder, app version "1.0.0", app archive "app.zip",
    // no launcher update offered, launcher archive "launcher.zip".
    void set_builds_folder(const std::string& dir);
    void set_app_version(const std::string& version);
    void set_app_archive(const std::string& file_name);
    // check_version/launcher answers "not up to date" with remote_version while
    // the counter is > 0. Each 2xx answer to GET /builds/<archive_file_name>
    // (from disk or scripted) uses one up.
    void set_launcher_update(const std::string& remote_version,
                             const std::string& archive_file_name, int times);
    int launcher_updates_left() const;

    void script(const std::string& path, Reply reply, bool once = true);
    void clear_scripts();

    // Path plus query of every request received, in arrival order.
    std::vector<std::string> requests() const;
    void clear_requests();
    // True once any logged request starts with prefix (including earlier ones).
    bool wait_for_request(const std::string& prefix, int timeout_ms);

    // Called from server threads with one line per request, e.g. for a console.
    void set_log(std::function<void(const std::string& line)> log);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace devbackend
