#include "dev_backend.h"

#include <httplib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

using devbackend::DevBackend;
using devbackend::Reply;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kApi = "/launcher/Windows";

long long ms_since(Clock::time_point t0) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

class DevBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(backend.start());
        client = std::make_unique<httplib::Client>(backend.origin());
        client->set_read_timeout(30, 0);
    }

    // Status and body of a GET; status -1 when the request failed.
    std::pair<int, std::string> get(const std::string& path) {
        auto res = client->Get(path.c_str());
        return res ? std::make_pair(res->status, res->body) : std::make_pair(-1, std::string());
    }

    DevBackend backend;
    std::unique_ptr<httplib::Client> client;
};

TEST_F(DevBackendTest, AnswersTheDefaultProtocol) {
    auto root = client->Get("/?probe=1");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->status, 200);
    EXPECT_EQ(root->get_header_value("Content-Type"), "application/json");
    EXPECT_EQ(root->body, R"({"message":"Solvanter dev backend"})");

    backend.set_app_version("2.0/beta 1");
    EXPECT_EQ(get(kApi + "/check_version/app/current/Game/2.0/beta 1"),
              std::make_pair(200, std::string(R"({"result":true,"remote_version":"2.0/beta 1"})")));
    EXPECT_EQ(get(kApi + "/check_version/app/latest/Game/1.0").second,
              R"({"result":false,"remote_version":"2.0/beta 1"})");

    backend.set_app_archive("Game Build.zip");
    EXPECT_EQ(get(kApi + "/get_build_url/app/version/Game").second,
              R"({"url":")" + backend.origin() + R"(/builds/Game%20Build.zip"})");
    EXPECT_EQ(get(kApi + "/check_version/launcher/current/Launcher/2.9.24").second,
              R"({"result":true,"remote_version":"2.9.24"})");

    EXPECT_EQ(get(kApi + "/check_version/launcher/nightly/Launcher/2.9.24").first, 400);
    EXPECT_EQ(get(kApi + "/get_build_url/app/current").first, 404);
    EXPECT_EQ(get("/elsewhere").first, 404);

    auto log = backend.requests();
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log.front(), "/?probe=1");
    backend.clear_requests();
    EXPECT_TRUE(backend.requests().empty());
}

TEST_F(DevBackendTest, ServesArchivesAndCountsLauncherUpdatesDown) {
    auto dir = std::filesystem::temp_directory_path() / ("devbackend_" + std::to_string(backend.port()));
    std::filesystem::create_directories(dir);
    const std::string archive("PK\x03\x04\0binary\0payload", 20);
    std::ofstream(dir / "Launcher.zip", std::ios::binary) << archive;
    backend.set_builds_folder(dir.string());
    backend.set_launcher_update("2.9.25", "Launcher.zip", 1);

    const std::string check = kApi + "/check_version/launcher/latest/Launcher/2.9.24";
    EXPECT_EQ(get(check).second, R"({"result":false,"remote_version":"2.9.25"})");
    EXPECT_EQ(get(kApi + "/get_build_url/launcher/latest/Launcher").second,
              R"({"url":")" + backend.origin() + R"(/builds/Launcher.zip"})");

    auto file = client->Get("/builds/Launcher.zip");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->status, 200);
    EXPECT_EQ(file->get_header_value("Content-Length"), std::to_string(archive.size()));
    EXPECT_EQ(file->get_header_value("Content-Type"), "application/zip");
    EXPECT_EQ(file->body, archive);
    EXPECT_EQ(backend.launcher_updates_left(), 0);
    EXPECT_EQ(get(check).second, R"({"result":true,"remote_version":"2.9.25"})");

    EXPECT_EQ(get("/builds/missing.zip").first, 404);
    EXPECT_EQ(get("/builds/../" + dir.filename().string() + "/Launcher.zip").first, 404);
    std::filesystem::remove_all(dir);
}

TEST_F(DevBackendTest, ScriptedRepliesOnceBeforeAlways) {
    backend.script("/p", Reply::json("true"), /*once=*/false);
    backend.script("/p", Reply::message(503, "busy", R"({"retry":1})"));
    backend.script("/p", Reply::file("not json", "text/plain"));

    EXPECT_EQ(get("/p?ignored=1"), std::make_pair(503, std::string(R"({"message":"busy","response_data":{"retry":1}})")));
    EXPECT_EQ(get("/p"), std::make_pair(200, std::string("not json")));
    EXPECT_EQ(get("/p"), std::make_pair(200, std::string("true")));
    EXPECT_EQ(get("/p"), std::make_pair(200, std::string("true")));

    backend.script(kApi + "/check_version/app/current/Game/1.0.0", Reply::json("", 500));
    auto empty = client->Get((kApi + "/check_version/app/current/Game/1.0.0").c_str());
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 500);
    EXPECT_EQ(empty->get_header_value("Content-Length"), "0");

    backend.clear_scripts();
    EXPECT_EQ(get("/p").first, 404);
}

// Captures what a client saw of a reply, including a broken body.
struct Seen {
    httplib::Error error = httplib::Error::Unknown;
    int status = -1;
    bool got_headers = false;
    std::string content_length, transfer_encoding, body;
};

Seen fetch(httplib::Client& client, const std::string& path) {
    Seen seen;
    auto res = client.Get(
        path.c_str(),
        [&](const httplib::Response& r) {
            seen.got_headers = true;
            seen.status = r.status;
            seen.content_length = r.get_header_value("Content-Length");
            seen.transfer_encoding = r.get_header_value("Transfer-Encoding");
            return true;
        },
        [&](const char* data, size_t n) {
            seen.body.append(data, n);
            return true;
        });
    seen.error = res.error();
    return seen;
}

TEST_F(DevBackendTest, BodyModesOnTheWire) {
    const std::string body(1000, 'x');
    backend.script("/cut", Reply::json(body).with_mode(Reply::Mode::truncated, 500));
    Seen cut = fetch(*client, "/cut");
    EXPECT_NE(cut.error, httplib::Error::Success);
    EXPECT_EQ(cut.content_length, "1000");
    EXPECT_EQ(cut.body.size(), 500u);

    backend.script("/chunked", Reply::file(body, "application/octet-stream").with_mode(Reply::Mode::no_content_length));
    Seen chunked = fetch(*client, "/chunked");
    EXPECT_EQ(chunked.error, httplib::Error::Success);
    EXPECT_EQ(chunked.content_length, "");
    EXPECT_EQ(chunked.transfer_encoding, "chunked");
    EXPECT_EQ(chunked.body, body);

    backend.script("/drop", Reply::json(body).with_mode(Reply::Mode::drop_connection));
    Seen dropped = fetch(*client, "/drop");
    EXPECT_NE(dropped.error, httplib::Error::Success);
    EXPECT_FALSE(dropped.got_headers);
    EXPECT_TRUE(dropped.body.empty());
    EXPECT_EQ(get("/").first, 200);  // the server keeps serving afterwards
}

TEST_F(DevBackendTest, DelaysAnswerLateButEndOnStop) {
    backend.script("/late", Reply::json("{}").with_delay(200));
    auto t0 = Clock::now();
    EXPECT_EQ(get("/late").first, 200);
    EXPECT_GE(ms_since(t0), 200);

    backend.script("/hang", Reply::json("{}").with_delay(20000));
    auto pending = std::async(std::launch::async, [&] { return client->Get("/hang").error(); });
    ASSERT_TRUE(backend.wait_for_request("/hang", 5000));
    t0 = Clock::now();
    backend.stop();
    EXPECT_LT(ms_since(t0), 3000);
    EXPECT_NE(pending.get(), httplib::Error::Success);
    EXPECT_FALSE(backend.running());
    EXPECT_FALSE(backend.wait_for_request("/never", 10));
}

TEST_F(DevBackendTest, BusyPortFailsAndRestartWorks) {
    const int port = backend.port();
    DevBackend other;
    EXPECT_FALSE(other.start(port));
    backend.stop();
    ASSERT_TRUE(backend.start(port));
    EXPECT_EQ(get("/").first, 200);
}

}  // namespace
