#include <gtest/gtest.h>

#include <thread>

#include "dev_backend.h"
#include "services/api.h"
#include "services/request_cancel.h"
#include "services_test_support.h"

using devbackend::Reply;

namespace
{
class ApiTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(backend.start()); }
    void TearDown() override { backend.stop(); }

    juce::URL at(const std::string& path) const { return juce::URL(juce::String(backend.origin() + path)); }

    // A port on which nothing listens: the backend's own, once it has stopped.
    static juce::String closed_origin()
    {
        devbackend::DevBackend other;
        EXPECT_TRUE(other.start());
        const auto origin = other.origin();
        other.stop();
        return origin;
    }

    static juce::String json(const juce::var& value)
    {
        return value.isVoid() ? "void" : juce::JSON::toString(value, true);
    }

    // The seconds of an "API call timed out after ... seconds" line, or -1 when the line differs.
    static double timed_out_seconds(const juce::String& line)
    {
        std::smatch match;
        const auto text = line.toStdString();
        if (! std::regex_match(text, match, std::regex(R"(\[ERROR\]: API call timed out after (\d+\.\d) seconds)")))
            return -1.0;
        return std::stod(match[1]);
    }

    devbackend::DevBackend backend;
    CapturingLogger logger;
};

struct Row
{
    const char* what;
    Reply reply;
    const char* expectedReply;   // compact JSON, or "void"
    juce::StringArray expectedLog;
};
} // namespace

TEST_F(ApiTest, RepliesAndTheirLogLinesByStatus)
{
    const std::vector<Row> rows {
        { "200 object", Reply::json(R"({"result":true,"remote_version":"1.0.0"})"),
          R"({"result": true, "remote_version": "1.0.0"})", {} },
        { "200 array", Reply::json(R"([1,"a"])"), R"([1, "a"])", {} },
        { "200 empty body", Reply::json(""), "void", {} },
        { "200 not JSON", Reply::json("<html>hello</html>", 200), "void", {} },
        { "200 bare true", Reply::json("true"), "void", {} },
        { "200 bare string", Reply::json(R"("text")"), "void", {} },
        { "200 never logs response_data", Reply::message(200, "fine", R"({"x":1})"),
          R"({"message": "fine", "response_data": {"x": 1}})", {} },
        { "403", Reply::message(403, "Token expired", R"({"reason":"token"})"),
          R"({"message": "Token expired", "response_data": {"reason": "token"}})",
          { "[ERROR]: API connection error (403): Token expired", "[INFO]: reason: token" } },
        { "403 empty body", Reply::json("", 403), "void", { "[ERROR]: API connection error (403): " } },
        { "500", Reply::message(500, "Database down", R"({"trace":["a","b"]})"),
          R"({"message": "Database down", "response_data": {"trace": ["a", "b"]}})",
          { "[ERROR]: API call failed in backend (500): Database down",
            "[INFO]: trace: [\r\n    a,\r\n    b\r\n  ]" } },
        { "500 without response_data", Reply::json(R"({"message":"Oops"})", 500), R"({"message": "Oops"})",
          { "[ERROR]: API call failed in backend (500): Oops" } },
        { "404", Reply::message(404, "Not Found", R"("gone")"),
          R"({"message": "Not Found", "response_data": "gone"})",
          { "[ERROR]: API call failed (404): Not Found", "[INFO]: gone" } },
        { "404 not JSON", Reply::json("no such page", 404), "void", { "[ERROR]: API call failed (404): " } },
        // The body comes back whatever the status; the caller judges it.
        { "409 check_version body", Reply::json(R"({"result":false,"remote_version":"3.1"})", 409),
          R"({"result": false, "remote_version": "3.1"})", { "[ERROR]: API call failed (409): " } },
    };

    for (size_t i = 0; i < rows.size(); ++i)
    {
        SCOPED_TRACE(rows[i].what);
        const auto path = "/row/" + std::to_string(i);
        backend.script(path, rows[i].reply);
        logger.clear();

        const auto reply = api_call(at(path));

        EXPECT_EQ(json(reply), rows[i].expectedReply);
        EXPECT_EQ(logger.untimed(), rows[i].expectedLog);
    }
    EXPECT_EQ(backend.requests().size(), rows.size());
}

TEST_F(ApiTest, TransportFailuresGiveVoidReplies)
{
    // Nothing listening: no status, so it reads as a time-out, however short.
    auto reply = api_call(juce::URL(closed_origin() + "/"));
    EXPECT_TRUE(reply.isVoid());
    ASSERT_EQ(logger.untimed().size(), 1);
    EXPECT_GE(timed_out_seconds(logger.untimed()[0]), 0.0) << logger.untimed()[0];

    // Request received, connection closed without a byte.
    logger.clear();
    backend.script("/dropped", Reply::json("{}").with_mode(Reply::Mode::drop_connection));
    reply = api_call(at("/dropped"));
    EXPECT_TRUE(reply.isVoid());
    EXPECT_EQ(backend.requests(), std::vector<std::string> { "/dropped" });
    ASSERT_EQ(logger.untimed().size(), 1);
    EXPECT_GE(timed_out_seconds(logger.untimed()[0]), 0.0) << logger.untimed()[0];

    // A status arrived but the reply broke off before its body: the stream is not opened.
    logger.clear();
    backend.script("/cut", Reply::json(R"({"message":"never complete"})").with_mode(Reply::Mode::truncated, 0));
    reply = api_call(at("/cut"));
    EXPECT_TRUE(reply.isVoid());
    EXPECT_EQ(logger.untimed(), juce::StringArray("[ERROR]: API call failed with status code: 200"));
}

TEST_F(ApiTest, ReplySlowerThanTheTimeOutIsAbandoned)
{
    backend.script("/slow", Reply::json(R"({"result":true})").with_delay(20000));

    const auto started = juce::Time::getMillisecondCounterHiRes();
    const auto reply = api_call(at("/slow"));
    const auto seconds = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;

    EXPECT_TRUE(reply.isVoid());
    EXPECT_LT(seconds, 19.0);
    ASSERT_EQ(logger.untimed().size(), 1);
    const auto logged = timed_out_seconds(logger.untimed()[0]);
    EXPECT_GE(logged, 9.5) << logger.untimed()[0];
    EXPECT_NEAR(logged, seconds, 0.2);
}

TEST_F(ApiTest, AddressWithLocalIsNeverProbed)
{
    const auto address = "http://localhost:" + juce::String(backend.port());
    EXPECT_TRUE(check_api_status(address));
    EXPECT_EQ(logger.untimed(), juce::StringArray("[INFO]: Skipping API connection check for " + address));
    EXPECT_TRUE(backend.requests().empty());

    // The test is case-sensitive: this one is probed, at the address itself.
    logger.clear();
    EXPECT_TRUE(check_api_status("http://LOCALHOST:" + juce::String(backend.port())));
    EXPECT_EQ(logger.untimed(), juce::StringArray("[INFO]: Message: Solvanter dev backend"));
    EXPECT_EQ(backend.requests(), std::vector<std::string> { "/" });
}

TEST_F(ApiTest, AnyReplyWithMessageCountsAsReachable)
{
    const auto origin = juce::String(backend.origin());

    backend.script("/", Reply::json(R"({"message":"Maintenance"})", 500));
    EXPECT_TRUE(check_api_status(origin));
    EXPECT_EQ(logger.untimed(), string_array({ "[ERROR]: API call failed in backend (500): Maintenance",
                                               "[INFO]: Message: Maintenance" }));

    logger.clear();
    backend.script("/", Reply::json(R"({"status":"ok"})"));
    EXPECT_FALSE(check_api_status(origin));
    EXPECT_EQ(logger.untimed(), juce::StringArray("[ERROR]: Failed to get API status message"));

    logger.clear();
    EXPECT_FALSE(check_api_status(closed_origin()));
    ASSERT_EQ(logger.untimed().size(), 2);
    EXPECT_GE(timed_out_seconds(logger.untimed()[0]), 0.0) << logger.untimed()[0];
    EXPECT_EQ(logger.untimed()[1], "[ERROR]: Failed to get API status message");

    EXPECT_EQ(backend.requests(), std::vector<std::string>({ "/", "/" }));
}

TEST_F(ApiTest, CancellingFromAnotherThreadEndsARequestInFlight)
{
    backend.script("/slow", Reply::json(R"({"result":true})").with_delay(30000));
    RequestCanceller canceller;
    juce::var reply = true;
    std::atomic<double> returnedAt { 0.0 };

    std::thread worker([&] {
        RequestCanceller::install_for_current_thread(&canceller);
        reply = api_call(at("/slow"));
        returnedAt = juce::Time::getMillisecondCounterHiRes();
        RequestCanceller::install_for_current_thread(nullptr);
    });

    ASSERT_TRUE(backend.wait_for_request("/slow", 5000));
    juce::Thread::sleep(300);
    const auto cancelledAt = juce::Time::getMillisecondCounterHiRes();
    canceller.cancel();
    worker.join();

    EXPECT_TRUE(canceller.is_cancelled());
    EXPECT_TRUE(reply.isVoid());
    // Well before the connection's own time-out would have ended it.
    EXPECT_LT(returnedAt - cancelledAt, 5000.0);
}

TEST_F(ApiTest, CancellingBeforeTheRequestFailsItAtOnce)
{
    RequestCanceller canceller;
    canceller.cancel();
    juce::var first = true, second = true;
    double elapsedMs = 0.0;

    std::thread worker([&] {
        RequestCanceller::install_for_current_thread(&canceller);
        const auto started = juce::Time::getMillisecondCounterHiRes();
        first = api_call(at("/"));
        second = api_call(at("/"));
        elapsedMs = juce::Time::getMillisecondCounterHiRes() - started;
        RequestCanceller::install_for_current_thread(nullptr);
    });
    worker.join();

    EXPECT_TRUE(first.isVoid());
    EXPECT_TRUE(second.isVoid());
    EXPECT_LT(elapsedMs, 2000.0);
    EXPECT_TRUE(backend.requests().empty());

    // Another thread's requests do not answer to that canceller.
    EXPECT_EQ(json(api_call(at("/"))), R"({"message": "Solvanter dev backend"})");
}
