#include <gtest/gtest.h>

#include <regex>

#include "services/system_info.h"
#include "support/captured_log.h"

namespace
{
// The framework's version, then "d Mon yyyy H:MM": no leading zeros on day and hour, no seconds,
// no am/pm.
const std::string compileDate = R"(JUCE v\d+\.\d+\.\d+ (?:[1-9]|[12]\d|3[01]) (?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec))"
                                R"( \d{4} (?:\d|1\d|2[0-3]):[0-5]\d)";
// The operating system's bitness: a 64-bit process runs only on a 64-bit system.
const std::string os = sizeof(void*) == 8 ? "Linux 64 bit" : "Linux (64|32) bit";

bool matches(const juce::String& text, const std::string& pattern)
{
    return std::regex_match(text.toStdString(), std::regex(pattern));
}
} // namespace

TEST(SystemInfo, ThirteenLabelledLinesLoggedIndentedWithoutStamps)
{
    const auto lines = system_info_lines();
    const std::string patterns[] {
        "Launcher:     Solvanter-launcher", R"(Version:      2\.9\.24 e0accb7 13\.05\.2022)",
        R"(Build name:   Windows_2\.9\.24_e0accb7_2022-05-13_0702)", "Compile date: " + compileDate,
        "OS:           " + os, "Device:       .*", "Manufacturer: .*", "CPU model:    .*",
        R"(CPU cores:    \d+C/\d+T)", R"(Memory size:  \d+ MB)", "User region:  .*", "User lang:    .*",
        "Display lang: .*",
    };
    ASSERT_EQ(lines.size(), 13);
    for (int i = 0; i < 13; ++i)
        EXPECT_TRUE(matches(lines[i], patterns[i])) << lines[i];

    CapturedLog logger;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    log_system_info();
    const auto out = testing::internal::GetCapturedStdout(), err = testing::internal::GetCapturedStderr();

    // Only the first line has a stamp and a tag.
    juce::StringArray expected("[INFO]: System info");
    for (const auto& line : lines)
        expected.add("(no stamp)     " + line);
    EXPECT_EQ(out, (logger.raw()[0] + "\n    " + lines.joinIntoString("\n    ") + "\n").toStdString());
    EXPECT_EQ(logger.take(), expected);
    EXPECT_TRUE(err.empty()) << err;
}

TEST(SystemInfo, AboutTextHasFourLinesAndNoTrailingLineFeed)
{
    const auto lines = juce::StringArray::fromTokens(about_text(), "\n", "");
    ASSERT_EQ(lines.size(), 4) << about_text();
    EXPECT_EQ(lines[0], "Solvanter Launcher 2.9.24");
    EXPECT_EQ(lines[1], "Version: 2.9.24 e0accb7 13.05.2022");
    EXPECT_TRUE(matches(lines[2], compileDate)) << lines[2];
    EXPECT_TRUE(matches(lines[3], os)) << lines[3];
}
