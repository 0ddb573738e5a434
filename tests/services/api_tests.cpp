#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "dev_backend.h"
#include "services/api.h"
#include "services/request_cancel.h"
#include "support/captured_log.h"

using devbackend::Reply;

namespace
{
struct ApiTest : ::testing::Test
{
    void SetUp() override { ASSERT_TRUE(backend.start()); }
    juce::URL at(const std::string& path) const { return juce::URL(juce::String(backend.origin() + path)); }

    devbackend::DevBackend backend;
    CapturedLog logger;
};

// A port on which nothing listens: a backend's own, once it has stopped.
juce::String closed_origin()
{
    devbackend::DevBackend other;
    EXPECT_TRUE(other.start());
    return other.origin();
}

juce::String json(const juce::var& value) { return value.isVoid() ? "void" : juce::JSON::toString(value, true); }
} // namespace

TEST_F(ApiTest, RepliesAndTheirLogLinesByStatusSizeAndDepth)
{
    const auto deep = std::string(100000, '[') + std::string(100000, ']');
    const juce::String tooDeep = "[ERROR]: API reply nested too deeply (more than 64 levels)";
    std::string dashes; // "-" takes the next character as its first digit, a "]" too: 100,000 levels
    for (int i = 0; i < 100000; ++i)
        dashes += "[-],";
    const auto bulky = std::string(900000, 'x');
    std::string blankDashes, exponents;  // the parser skips a blank after "-", and reads "E" in a number
    for (int i = 0; i < 64; ++i)
        blankDashes += "[- ],", exponents += "[1E5,";
    const auto parsed = [](const std::string& body) { return json(juce::JSON::parse(juce::String(body))).toStdString(); };
    juce::String euros; // 3 bytes each: the cut falls inside one
    for (int i = 0; i < 5000; ++i)
        euros += juce::String::fromUTF8("\xe2\x82\xac");
    const struct
    {
        Reply reply;
        std::string expectedReply; // compact JSON, or "void"
        juce::StringArray expectedLog;
    } rows[] {
        { Reply::json(R"({"result":true})"), R"({"result": true})", {} },
        { Reply::json(R"([1,"a"])"), R"([1, "a"])", {} },
        { Reply::json(""), "void", {} },
        { Reply::json("<html>hello</html>"), "void", {} },
        { Reply::json("true"), "void", {} },
        { Reply::message(200, "fine", R"({"x":1})"), R"({"message": "fine", "response_data": {"x": 1}})", {} },
        { Reply::message(403, "Token expired", R"({"reason":"token"})"),
          R"({"message": "Token expired", "response_data": {"reason": "token"}})",
          { "[ERROR]: API connection error (403): Token expired", "[INFO]: reason: token" } },
        { Reply::json("", 403), "void", { "[ERROR]: API connection error (403): " } },
        { Reply::message(500, "Database down", R"({"trace":["a","b"]})"),
          R"({"message": "Database down", "response_data": {"trace": ["a", "b"]}})",
          { "[ERROR]: API call failed in backend (500): Database down", "[INFO]: trace: [\r\n    a,\r\n    b\r\n  ]" } },
        { Reply::message(404, "Not Found", R"("gone")"), R"({"message": "Not Found", "response_data": "gone"})",
          { "[ERROR]: API call failed (404): Not Found", "[INFO]: gone" } },
        // The body comes back whatever the status, even another 2xx; the caller judges it.
        { Reply::json(R"({"result":false,"remote_version":"3.1"})", 201),
          R"({"result": false, "remote_version": "3.1"})", { "[ERROR]: API call failed (201): " } },
        { Reply::json("[1,").with_mode(Reply::Mode::endless), "void",
          { "[ERROR]: API reply too large (more than 1024 KB)" } },
        { Reply::json(std::string(1024 * 1024 + 1, ' ')), "void", { "[ERROR]: API reply too large (more than 1024 KB)" } },
        // 200 KB of brackets overflow the parser's stack; the limit sits far above any real reply.
        { Reply::nested(100000), "void", { "[ERROR]: API reply nested too deeply (more than 64 levels)" } },
        { Reply::nested(65), "void", { "[ERROR]: API reply nested too deeply (more than 64 levels)" } },
        { Reply::json(R"({"message":"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["})"),
          R"({"message": "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["})", {} },
        { Reply::nested(2), "[[]]", {} },
        { Reply::nested(64), std::string(64, '[') + std::string(64, ']'), {} },
        // Depth hidden in what the parser does not read as a string: each quote kind holding the
        // other, escapes of both, and a "-" that takes a quote or a bracket as its first digit.
        { Reply::json(R"(['"',)" + deep + "]"), "void", { tooDeep } },
        { Reply::json(R"(['\'"',)" + deep + "]"), "void", { tooDeep } },
        { Reply::json(R"(["\"'",)" + deep + "]"), "void", { tooDeep } },
        { Reply::json(R"(['\\',"\\",'\u0027"',)" + deep + "]"), "void", { tooDeep } },
        { Reply::json(R"([-",)" + deep + "]"), "void", { tooDeep } },
        { Reply::json(dashes + "1]"), "void", { tooDeep } },
        { Reply::json(blankDashes + "1]"), "void", {} },
        { Reply::json("[- ]," + blankDashes + "1]"), "void", { tooDeep } },
        { Reply::json(exponents + "1]"), "void", {} },
        { Reply::json("[1E5," + exponents + "1]"), "void", { tooDeep } },
        { Reply::json("[- 1, 1E2]"), parsed("[- 1, 1E2]"), {} },
        // Brackets inside either kind of string are text, however many.
        { Reply::json(R"({"message":'[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[['})"),
          R"({"message": "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["})", {} },
        { Reply::json(R"(['\'[',"\"[",'"[',"'[",-[,[[1]]])"), R"(["'[", "\"[", "\"[", "'[", -43, [[1]]])", {} },
        // The parser would read past the text's end for the digit after the "-".
        { Reply::json("[-"), "void", {} },
        // A reply's text goes into a line only up to 4 KB, whole characters.
        { Reply::message(500, "Database down", "\"" + bulky + "\""),
          R"({"message": "Database down", "response_data": ")" + bulky + "\"}",
          { "[ERROR]: API call failed in backend (500): Database down",
            "[INFO]: " + bulky.substr(0, 4096) + " [895904 more bytes not logged]" } },
        // At the bound a text is logged whole; one byte more is cut.
        { Reply::message(500, std::string(4096, 'm'), "\"" + std::string(4096, 'd') + "\""),
          parsed(R"({"message":")" + std::string(4096, 'm') + R"(","response_data":")" + std::string(4096, 'd') + "\"}"),
          { "[ERROR]: API call failed in backend (500): " + std::string(4096, 'm'), "[INFO]: " + std::string(4096, 'd') } },
        { Reply::message(500, std::string(4097, 'm'), "\"" + std::string(4097, 'd') + "\""),
          parsed(R"({"message":")" + std::string(4097, 'm') + R"(","response_data":")" + std::string(4097, 'd') + "\"}"),
          { "[ERROR]: API call failed in backend (500): " + std::string(4096, 'm') + " [1 more bytes not logged]",
            "[INFO]: " + std::string(4096, 'd') + " [1 more bytes not logged]" } },
        { Reply::json(R"({"message":")" + euros.toStdString() + "\"}", 403),
          juce::JSON::toString(juce::JSON::parse(R"({"message":")" + euros + "\"}"), true).toStdString(),
          { "[ERROR]: API connection error (403): " + euros.substring(0, 1365) + " [10905 more bytes not logged]" } },
    };
    for (const auto& row : rows)
    {
        const auto path = "/row/" + std::to_string(&row - rows);
        SCOPED_TRACE(path);
        backend.script(path, row.reply);
        EXPECT_EQ(json(api_call(at(path))).toStdString(), row.expectedReply);
        EXPECT_EQ(logger.take(), row.expectedLog);
    }
    EXPECT_EQ(backend.requests().size(), std::size(rows));
}

TEST_F(ApiTest, TransportFailuresGiveVoidReplies)
{
    backend.script("/dropped", Reply::json("{}").with_mode(Reply::Mode::drop_connection));
    backend.script("/slow", Reply::json("{}").with_delay(20000));
    backend.script("/cut", Reply::json(R"({"message":"never complete"})").with_mode(Reply::Mode::truncated, 0));
    // No status (nothing listening, closed without a byte, slower than the 10 s time-out): a time-out
    // that took the seconds the attempt took, however short.
    const std::pair<juce::URL, double> rows[] { { juce::URL(closed_origin()), 0.0 }, { at("/dropped"), 0.0 },
                                                { at("/slow"), 9.5 } };
    for (const auto& [url, atLeast] : rows)
    {
        SCOPED_TRACE(url.toString(false));
        const auto started = juce::Time::getMillisecondCounterHiRes();
        EXPECT_TRUE(api_call(url).isVoid());
        const auto seconds = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;
        const auto lines = logger.take();
        ASSERT_EQ(lines.size(), 1);
        ASSERT_TRUE(lines[0].matchesWildcard("[ERROR]: API call timed out after *.? seconds", false)) << lines[0];
        const auto logged = lines[0].fromLastOccurrenceOf("after ", false, false).getDoubleValue();
        EXPECT_GE(logged, atLeast);
        EXPECT_NEAR(logged, seconds, 0.2);
        EXPECT_LT(seconds, atLeast + 5.0);
    }
    // A status arrived but the reply broke off before its body.
    EXPECT_TRUE(api_call(at("/cut")).isVoid());
    EXPECT_EQ(logger.take(), juce::StringArray("[ERROR]: API call failed with status code: 200"));
    EXPECT_EQ(backend.requests(), (std::vector<std::string> { "/dropped", "/slow", "/cut" }));
}

TEST_F(ApiTest, OnlyHttpAddressesAreOpenedAndRedirectsFollowedOnlyToThem)
{
    // Takes connections into its backlog and never answers: a client that came here would wait.
    juce::StreamingSocket silent;
    ASSERT_TRUE(silent.createListener(0, "127.0.0.1"));
    const auto silentHost = "127.0.0.1:" + juce::String(silent.getBoundPort());
    juce::TemporaryFile file;
    ASSERT_TRUE(file.getFile().replaceWithText(R"({"message":"from a file"})"));
    const auto fileUrl = juce::URL(file.getFile()).toString(false);
    const auto origin = juce::String(backend.origin()), host = origin.fromFirstOccurrenceOf("//", false, false);
    const auto script = [&](const std::string& path, Reply reply) { backend.script(path, std::move(reply), false); };
    script("/a/b", Reply::json(R"({"message":"moved"})"));
    script("/a/relative", Reply::redirect("b"));
    script("/absolute-path", Reply::redirect("/a/b", 301));
    script("/network-path", Reply::redirect(("//" + host + "/a/b").toStdString(), 308));
    script("/to-ftp", Reply::redirect(("ftp://" + silentHost + "/x").toStdString(), 307));
    script("/to-telnet", Reply::redirect(("telnet://" + silentHost).toStdString()));
    script("/to-file", Reply::redirect(fileUrl.toStdString(), 303));
    script("/loop", Reply::redirect("/loop"));
    script("/no-location", Reply::json(R"({"message":"nowhere"})", 302));
    script("/r/first", Reply::redirect("/a/hop"));
    script("/a/hop", Reply::redirect("b", 307));

    const auto refused = [](const juce::String& address) { return "[ERROR]: Refused to open a non-HTTP(S) address: " + address; };
    const auto notFollowed = [](const juce::String& address) {
        return "[ERROR]: Refused to follow a redirect to a non-HTTP(S) address: " + address;
    };
    const std::pair<juce::String, juce::StringArray> rows[] {
        { fileUrl, { refused(fileUrl) } },
        { "ftp://" + silentHost + "/x", { refused("ftp://" + silentHost + "/x") } },
        { "telnet://" + silentHost, { refused("telnet://" + silentHost) } },
        // The transport would guess a scheme (ftp: for a host named "ftp.*").
        { host + "/", { refused(host + "/") } },
        { "httpx://" + silentHost + "/x", { refused("httpx://" + silentHost + "/x") } },
        { "https-proxy://" + silentHost + "/x", { refused("https-proxy://" + silentHost + "/x") } },
        { "http:" + silentHost + "/x", { refused("http:" + silentHost + "/x") } },
        { "HTTP://" + host + "/a/b", {} },
        { origin + "/a/relative", {} },
        { origin + "/absolute-path", {} },
        { origin + "/network-path", {} },
        // The second redirect is relative to the first one's target.
        { origin + "/r/first", {} },
        { origin + "/to-ftp", { notFollowed("ftp://" + silentHost + "/x") } },
        { origin + "/to-telnet", { notFollowed("telnet://" + silentHost) } },
        { origin + "/to-file", { notFollowed(fileUrl) } },
        // Five redirects, as the transport's own limit, then its status.
        { origin + "/loop", { "[ERROR]: API call failed with status code: 302" } },
        { origin + "/no-location", { "[ERROR]: API call failed (302): nowhere" } },
    };
    for (const auto& [address, lines] : rows)
    {
        SCOPED_TRACE(address);
        const auto reply = json(api_call(juce::URL(address)));
        EXPECT_EQ(reply, lines.isEmpty() ? R"({"message": "moved"})" : address.endsWith("location") ? R"({"message": "nowhere"})" : "void");
        EXPECT_EQ(logger.take().joinIntoString("\n"), lines.joinIntoString("\n"));
    }
    EXPECT_EQ(silent.waitUntilReady(true, 0), 0) << "something connected to " << silentHost;
    const auto requests = backend.requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "/a/b"), 5);
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "/loop"), 6);
}

TEST_F(ApiTest, StatusCheckProbesAllButLocalAndTakesAnyReplyWithMessage)
{
    const auto port = juce::String(backend.port()), origin = juce::String(backend.origin());
    const struct
    {
        juce::String api;
        std::optional<Reply> reply;
        bool reachable;
        juce::StringArray log;
    } rows[] {
        // "local" is never probed; the test is case-sensitive, so LOCALHOST is probed, at the address itself.
        { "http://localhost:" + port, {}, true, { "[INFO]: Skipping API connection check for http://localhost:" + port } },
        { "http://LOCALHOST:" + port, {}, true, { "[INFO]: Message: Solvanter dev backend" } },
        // Any reply with a "message" counts, whatever its status.
        { origin, Reply::json(R"({"message":"Maintenance"})", 500), true,
          { "[ERROR]: API call failed in backend (500): Maintenance", "[INFO]: Message: Maintenance" } },
        { origin, Reply::json(R"({"status":"ok"})"), false, { "[ERROR]: Failed to get API status message" } },
        { origin, Reply::json(R"({"message":")" + std::string(5000, 'm') + "\"}"), true,
          { "[INFO]: Message: " + juce::String(std::string(4096, 'm')) + " [904 more bytes not logged]" } },
        // An address of config.xml is judged as any other.
        { "file:///dev/null", {}, false,
          { "[ERROR]: Refused to open a non-HTTP(S) address: file:///dev/null", "[ERROR]: Failed to get API status message" } },
        { origin, Reply::nested(100000), false,
          { "[ERROR]: API reply nested too deeply (more than 64 levels)", "[ERROR]: Failed to get API status message" } },
        // Unreachable: api_call's own line, then the check's.
        { closed_origin(), {}, false,
          { "[ERROR]: API call timed out after *", "[ERROR]: Failed to get API status message" } },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.api);
        if (row.reply)
            backend.script("/", *row.reply);
        EXPECT_EQ(check_api_status(row.api), row.reachable);
        EXPECT_TRUE(logger.logged(row.log) && logger.lines().size() == row.log.size()) << logger.lines().joinIntoString("\n");
        logger.clear();
    }
    EXPECT_EQ(backend.requests(), std::vector<std::string>(5, "/"));
}

TEST_F(ApiTest, CancellingEndsTheRequestInFlightAndFailsLaterOnesAtOnce)
{
    backend.script("/slow", Reply::json("{}").with_delay(30000));
    RequestCanceller canceller;
    juce::var slow = true, later = true;
    double cancelledAt = 0.0, returnedAt = 0.0, laterAt = 0.0;
    std::thread worker([&] {
        RequestCanceller::install_for_current_thread(&canceller);
        slow = api_call(at("/slow"));
        returnedAt = juce::Time::getMillisecondCounterHiRes();
        later = api_call(at("/"));
        laterAt = juce::Time::getMillisecondCounterHiRes();
    });
    EXPECT_TRUE(backend.wait_for_request("/slow", 5000));
    juce::Thread::sleep(300);
    cancelledAt = juce::Time::getMillisecondCounterHiRes();
    canceller.cancel();
    worker.join();

    EXPECT_TRUE(slow.isVoid() && later.isVoid());
    // Well before the connection's own time-out; once cancelled, a request fails without reaching the backend.
    EXPECT_LT(returnedAt - cancelledAt, 5000.0);
    EXPECT_LT(laterAt - returnedAt, 2000.0);
    EXPECT_EQ(backend.requests(), std::vector<std::string> { "/slow" });
    // Another thread's requests do not answer to that canceller, even once the worker has gone.
    EXPECT_EQ(json(api_call(at("/"))), R"({"message": "Solvanter dev backend"})");
}

