#include <gtest/gtest.h>

#include "services/log.h"
#include "services_test_support.h"

namespace
{
juce::String stamp_of(const juce::Time& time)
{
    return time.formatted("%H:%M:%S ");
}

// The line's stamp must be the local time of the call, taken between before and after.
void expect_stamp_between(const juce::String& line, const juce::Time& before, const juce::Time& after)
{
    const auto stamp = line.substring(0, 9);
    EXPECT_TRUE(stamp == stamp_of(before) || stamp == stamp_of(after)) << line;
}
} // namespace

TEST(LogWriter, LinesGoToTheStreamOfTheirLevelAndToTheLogger)
{
    CapturingLogger logger;
    ConsoleCapture console;

    const auto before = juce::Time::getCurrentTime();
    log_info("Using default config");
    log_error("");
    log_line("[STATE]: Checking for updates", false);
    log_info("Loaded config:\n  App: Solvanter");
    const auto after = juce::Time::getCurrentTime();
    console.finish();

    const auto lines = logger.lines();
    ASSERT_EQ(lines.size(), 4);
    for (const auto& line : lines)
        expect_stamp_between(line, before, after);

    // The logger gets each line without a line end; a multi-line message has one stamp and tag.
    EXPECT_EQ(lines[0].substring(9), "[INFO]: Using default config");
    EXPECT_EQ(lines[1].substring(9), "[ERROR]: ");
    EXPECT_EQ(lines[2].substring(9), "[STATE]: Checking for updates");
    EXPECT_EQ(lines[3].substring(9), "[INFO]: Loaded config:\n  App: Solvanter");

    // Only the error line reaches standard error; everything else goes to standard output.
    EXPECT_EQ(console.err, (lines[1] + "\n").toStdString());
    EXPECT_EQ(console.out, (lines[0] + "\n" + lines[2] + "\n" + lines[3] + "\n").toStdString());
}

TEST(LogWriter, WithoutLoggerLinesStillReachTheConsoleAndTheDebugOutput)
{
    ConsoleCapture console;
    log_info("no logger set");
    console.finish();

    // On Linux the framework's debug output is standard error.
    const std::regex line(R"(\d\d:\d\d:\d\d \[INFO\]: no logger set\n)");
    EXPECT_TRUE(std::regex_match(console.out, line)) << console.out;
    EXPECT_TRUE(std::regex_match(console.err, line)) << console.err;
}

TEST(LogWriter, LogJsonReshapesTheValueIntoReadableText)
{
    CapturingLogger logger;
    ConsoleCapture console;

    const auto logged = [&logger](const juce::String& json) {
        logger.clear();
        log_json(juce::JSON::parse(json));
        const auto lines = logger.untimed();
        return lines.size() == 1 ? lines[0] : "<" + juce::String(lines.size()) + " lines>";
    };

    // Quotes and outer braces go, the escaped line break becomes CR LF, the indent stays.
    EXPECT_EQ(logged(R"({"error":"bad\nrequest","code":3})"),
              "[INFO]: error: bad\r\nrequest,\r\n  code: 3");
    EXPECT_EQ(logged("{}"), "[INFO]: ");
    EXPECT_EQ(logged(R"({"outer":{"inner":1}})"),
              "[INFO]: outer: {\r\n    inner: 1\r\n  }");
    EXPECT_EQ(logged(R"({"list":[1,"two"]})"),
              "[INFO]: list: [\r\n    1,\r\n    two\r\n  ]");
    EXPECT_EQ(logged(R"({"said":"a \"quoted\" word"})"), "[INFO]: said: a \\quoted\\ word");
    EXPECT_EQ(logged(R"({"tab":"a\tb"})"), "[INFO]: tab: a\\tb");
    EXPECT_EQ(logged(R"([{"a":1}])"), "[INFO]: [\r\n  {\r\n    a: 1\r\n  }\r\n]");

    console.finish();
    EXPECT_TRUE(console.err.empty()) << console.err;
}
