#include <gtest/gtest.h>

#include <regex>

#include "services/log.h"
#include "services/log_text.h"
#include "services/utf8_text.h"
#include "services/reply_limits.h"
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

// Text from outside goes into a log line as text of one line: control characters and bytes that
// are not UTF-8 escaped, a backslash as it is, and cut as reply text is, never inside an escape.
TEST(LogText, OutsideTextIsShownEscapedAndBounded)
{
    const std::string a4092(4092, 'a'), a4096(4096, 'a');
    const struct
    {
        std::string text;
        std::string shown;
    } rows[] = {
        // Plain text, also with letters outside ASCII and a Windows path, byte for byte.
        { "config.xml", "config.xml" },
        { "Solvanter/n\xC3\xBCw-\xC3\xA9.txt", "Solvanter/n\xC3\xBCw-\xC3\xA9.txt" },
        { "C:\\Users\\J\xC3\xBCrgen\\x", "C:\\Users\\J\xC3\xBCrgen\\x" },
        { "~ \xC2\xA0\xE2\x80\xA8\xF0\x9F\x98\x80", "~ \xC2\xA0\xE2\x80\xA8\xF0\x9F\x98\x80" },
        // A line break cannot start a line of its own, nor can a terminal's escape sequence.
        { "x\n12:00:00 [INFO]: Removed existing app", "x\\x0A12:00:00 [INFO]: Removed existing app" },
        { "a\rb\tc\x1F d", "a\\x0Db\\x09c\\x1F d" },
        { "\x1B]0;title\x07\x1B[2J", "\\x1B]0;title\\x07\\x1B[2J" },
        { "del\x7F", "del\\x7F" },
        // C1 controls (U+0085 next line, U+009B the 8-bit CSI) as their two bytes; U+00A0 is no control.
        { "\xC2\x80\xC2\x85\xC2\x9B\xC2\x9F\xC2\xA0", "\\xC2\\x80\\xC2\\x85\\xC2\\x9B\\xC2\\x9F\xC2\xA0" },
        // Bytes that are not UTF-8: overlong forms, a surrogate, a lone continuation byte, NUL.
        { "Solvanter/\xC0\xAE\xC0\xAE/x", "Solvanter/\\xC0\\xAE\\xC0\\xAE/x" },
        { "\xED\xA0\x80\xBF\xFF", "\\xED\\xA0\\x80\\xBF\\xFF" },
        { std::string("a\0b", 3), "a\\x00b" },
        // The bound: at the limit whole, one past cut, never inside a character or an escape.
        { a4096, a4096 },
        { a4096 + "b", a4096 + " [1 more bytes not logged]" },
        { std::string(4095, 'a') + "\xC3\xA9", std::string(4095, 'a') + " [2 more bytes not logged]" },
        { a4092 + "\x1B", a4092 + "\\x1B" },
        { a4092 + "a\x1B", a4092 + "a [4 more bytes not logged]" },
        { a4092 + "aaa\x1B", a4092 + "aaa [4 more bytes not logged]" },
        { a4092 + "aaaa\x1B", a4096 + " [4 more bytes not logged]" },
        // 64 KB of line breaks: one line of 4 KB.
        { std::string(65536, '\n'), [] {
              std::string shown;
              for (int i = 0; i < 1024; ++i)
                  shown += "\\x0A";
              return shown + " [258048 more bytes not logged]";
          }() },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(shown_as_text(row.text.data(), std::min(row.text.size(), (size_t) 100)));
        const auto shown = shown_in_log(row.text.data(), row.text.size());
        EXPECT_EQ(std::string(shown.toRawUTF8()), row.shown);
        if (row.text.find('\0') == std::string::npos)
            EXPECT_EQ(shown_in_log(juce::String::fromUTF8(row.text.data(), (int) row.text.size())), shown);
        EXPECT_TRUE(is_utf8_text(shown.toRawUTF8(), shown.getNumBytesAsUTF8()));
        // Escaping what is already shown changes nothing.
        if (row.shown.size() <= 4096)
            EXPECT_EQ(shown_in_log(shown), shown);
    }
}

// The reshaping is done as the formatter writes, keeping only the logged start: on random values,
// with long runs of line breaks, blanks and braces at either end and past the logged bound, the
// line is the one the whole text, reshaped step by step, would give.
TEST(LogWriter, LogJsonGivesTheLineOfTheWholeTextReshapedStepByStep)
{
    const auto reshaped = [](const juce::var& value) {
        const auto text = juce::JSON::toString(value).removeCharacters("\"").trimCharactersAtStart("{")
                              .trimCharactersAtEnd("}").replace("\\n", "\r\n").trimStart().trimEnd();
        return "[INFO]: " + reply_text_for_log(text, text.getNumBytesAsUTF8());
    };
    const juce::String pieces[] = { "x", "n", "\\", "\\n", "\"", "\n", " ", "{", "}", "[", juce::String::fromUTF8("\xc3\xa9"),
                                    juce::String::repeatedString("\n", 3000), juce::String::repeatedString(" ", 5000),
                                    juce::String::repeatedString("}", 70), juce::String::repeatedString("{", 70),
                                    juce::String::repeatedString("y", 4090) };
    juce::Random random(28);
    const std::function<juce::var(int)> value = [&](int depth) -> juce::var {
        const auto kind = random.nextInt(depth > 3 ? 2 : 4);
        if (kind == 0)
        {
            juce::String text;
            for (int n = random.nextInt(5); --n >= 0;)
                text += pieces[random.nextInt((int) std::size(pieces))];
            return text;
        }
        if (kind == 1)
            return random.nextInt(1000);
        juce::var result;
        for (int n = random.nextInt(4); --n >= 0;)
            if (kind == 2)
                result.append(value(depth + 1));
            else
            {
                if (result.isVoid())
                    result = new juce::DynamicObject();
                result.getDynamicObject()->setProperty(pieces[random.nextInt((int) std::size(pieces))].substring(0, 8) + juce::String(n), value(depth + 1));
            }
        return result;
    };

    CapturedLog logger;
    int cut = 0;
    for (int i = 0; i < 600; ++i)
    {
        const auto v = value(0);
        log_json(v);
        const auto expected = reshaped(v);
        cut += expected.contains(" more bytes not logged]") ? 1 : 0;
        ASSERT_EQ(logger.take(), juce::StringArray(expected)) << juce::JSON::toString(v).substring(0, 300);
    }
    EXPECT_GT(cut, 50);
}
