#include "dev_backend.h"

#include <httplib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>

using devbackend::Reply;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kApi = "/launcher/Windows";

struct DevBackendTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(backend.start()); }

    // Status, headers and body as far as they arrived; status -1 when no status line came.
    struct Seen {
        bool ok = false;
        int status = -1;
        std::string content_length, transfer_encoding, body;
    };
    Seen get(const std::string& path) {
        Seen seen;
        seen.ok = httplib::Client(backend.origin()).Get(path.c_str(),
                             [&](const httplib::Response& r) {
                                 seen.status = r.status;
                                 seen.content_length = r.get_header_value("Content-Length");
                                 seen.transfer_encoding = r.get_header_value("Transfer-Encoding");
                                 return true;
                             },
                             [&](const char* data, size_t n) { return seen.body.append(data, n), true; })
                      .error() == httplib::Error::Success;
        return seen;
    }
    std::string body(const std::string& path) { return get(path).body; }

    devbackend::DevBackend backend;
};

TEST_F(DevBackendTest, AnswersTheDefaultProtocol) {
    EXPECT_EQ(body("/?probe=1"), R"({"message":"Solvanter dev backend"})");
    backend.set_app_version("2.0/beta 1");
    EXPECT_EQ(body(kApi + "/check_version/app/current/Game/2.0/beta 1"), R"({"result":true,"remote_version":"2.0/beta 1"})");
    EXPECT_EQ(body(kApi + "/check_version/app/latest/Game/1.0"), R"({"result":false,"remote_version":"2.0/beta 1"})");
    // Each segment decoded on its own: an escaped "/" stays in its segment, and is no step.
    EXPECT_EQ(body(kApi + "/check_version/app/current/Game/2.0%2Fbeta%201"), R"({"result":true,"remote_version":"2.0/beta 1"})");
    EXPECT_EQ(get(kApi + "/check_version/app%2Fcurrent/Game/2.0").status, 404);
    backend.set_app_archive("Game Build.zip");
    EXPECT_EQ(body(kApi + "/get_build_url/app/version/Game"), R"({"url":")" + backend.origin() + R"(/builds/Game%20Build.zip"})");
    EXPECT_EQ(body(kApi + "/check_version/launcher/current/L/2.9.24"), R"({"result":true,"remote_version":"2.9.24"})");
    EXPECT_EQ(get(kApi + "/check_version/launcher/nightly/L/2.9.24").status, 400);
    EXPECT_EQ(get(kApi + "/get_build_url/app/current").status, 404);

    EXPECT_EQ(backend.requests().front(), "/?probe=1");
    EXPECT_EQ(backend.requests().size(), 9u);
}

TEST_F(DevBackendTest, ScriptedRepliesOnceBeforeAlways) {
    backend.script("/p", Reply::json("true"), /*once=*/false);
    backend.script("/p", Reply::message(503, "busy", R"({"retry":1})"));
    EXPECT_EQ(get("/p?ignored=1").status, 503);
    EXPECT_EQ(body("/p"), "true");
    EXPECT_EQ(body("/p"), "true");
    backend.clear_scripts();
    EXPECT_EQ(get("/p").status, 404);
}

TEST_F(DevBackendTest, BodyModesOnTheWire) {
    const std::string payload(1000, 'x');
    backend.script("/cut", Reply::json(payload).with_mode(Reply::Mode::truncated, 500));
    backend.script("/chunked", Reply::json(payload).with_mode(Reply::Mode::no_content_length));
    backend.script("/drop", Reply::json(payload).with_mode(Reply::Mode::drop_connection));

    const auto cut = get("/cut");
    EXPECT_FALSE(cut.ok);
    EXPECT_EQ(cut.content_length, "1000");
    EXPECT_EQ(cut.body.size(), 500u);
    const auto chunked = get("/chunked");
    EXPECT_TRUE(chunked.ok);
    EXPECT_EQ(chunked.content_length + "|" + chunked.transfer_encoding, "|chunked");
    EXPECT_EQ(chunked.body, payload);
    const auto dropped = get("/drop");
    EXPECT_FALSE(dropped.ok);
    EXPECT_EQ(dropped.status, -1);
    EXPECT_EQ(get("/").status, 200);  // still serving
}

TEST_F(DevBackendTest, DelaysAnswerLateButEndOnStop) {
    const auto ms_since = [](Clock::time_point t0) { return (Clock::now() - t0) / std::chrono::milliseconds(1); };
    backend.script("/late", Reply::json("{}").with_delay(200));
    auto t0 = Clock::now();
    EXPECT_EQ(get("/late").status, 200);
    EXPECT_GE(ms_since(t0), 200);

    backend.script("/hang", Reply::json("{}").with_delay(20000));
    auto pending = std::async(std::launch::async, [&] { return get("/hang").ok; });
    ASSERT_TRUE(backend.wait_for_request("/hang", 5000));
    t0 = Clock::now();
    backend.stop();
    EXPECT_LT(ms_since(t0), 3000);
    EXPECT_FALSE(pending.get());
    EXPECT_FALSE(backend.running());
}

}  // namespace
