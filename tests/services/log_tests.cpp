#include <gtest/gtest.h>

#include <regex>

#include "services/log.h"
#include "support/captured_log.h"

TEST(LogWriter, LinesGoToTheStreamOfTheirLevelAndToTheLoggerOrTheDebugOutput)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    juce::StringArray logged;
    const auto before = juce::Time::getCurrentTime().formatted("%H:%M:%S ");
    {
        CapturedLog logger;
        log_info("Using default config");
        log_error("");
        log_line("[STATE]: Checking for updates", false);
        log_info("Loaded config:\n  App: Solvanter");
        logged = logger.raw();
    }
    const auto after = juce::Time::getCurrentTime().formatted("%H:%M:%S ");
    log_info("no logger set");
    const auto out = testing::internal::GetCapturedStdout(), err = testing::internal::GetCapturedStderr();

    ASSERT_EQ(logged.size(), 4);
    for (const auto& line : logged)
        EXPECT_TRUE(line.startsWith(before) || line.startsWith(after)) << line; // local time of the call
    // No line end for the logger; a multi-line message has one stamp and tag.
    EXPECT_EQ(logged[0].substring(9), "[INFO]: Using default config");
    EXPECT_EQ(logged[1].substring(9), "[ERROR]: ");
    EXPECT_EQ(logged[2].substring(9), "[STATE]: Checking for updates");
    EXPECT_EQ(logged[3].substring(9), "[INFO]: Loaded config:\n  App: Solvanter");

    // Only the error line goes to standard error. Without a logger a line still reaches its stream
    // and the debug output, which on Linux is standard error too.
    const std::regex noLogger(R"(\d\d:\d\d:\d\d \[INFO\]: no logger set\n)");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(out, match, noLogger)) << out;
    EXPECT_EQ(match.prefix().str() + match.suffix().str(),
              (logged[0] + "\n" + logged[2] + "\n" + logged[3] + "\n").toStdString());
    ASSERT_TRUE(std::regex_search(err, match, noLogger)) << err;
    EXPECT_EQ(match.prefix().str() + match.suffix().str(), (logged[1] + "\n").toStdString());
}

TEST(LogWriter, LogJsonReshapesTheValueIntoReadableText)
{
    const char* rows[][2] {
        // Quotes and outer braces go, the escaped line break becomes CR LF, the indent stays.
        { R"({"error":"bad\nrequest","code":3})", "[INFO]: error: bad\r\nrequest,\r\n  code: 3" },
        { "{}", "[INFO]: " },
        { R"({"outer":{"inner":1}})", "[INFO]: outer: {\r\n    inner: 1\r\n  }" },
        { R"({"list":[1,"two"]})", "[INFO]: list: [\r\n    1,\r\n    two\r\n  ]" },
        { R"({"said":"a \"quoted\" word"})", "[INFO]: said: a \\quoted\\ word" },
        { R"([{"a":1}])", "[INFO]: [\r\n  {\r\n    a: 1\r\n  }\r\n]" },
    };
    CapturedLog logger;
    for (const auto& [json, expected] : rows)
    {
        SCOPED_TRACE(json);
        log_json(juce::JSON::parse(json));
        EXPECT_EQ(logger.take(), juce::StringArray(expected));
    }
}
