#include <gtest/gtest.h>

#include "services/system_info.h"
#include "services_test_support.h"

namespace
{
// "d Mon yyyy H:MM": no leading zeros on day and hour, no seconds, no am/pm.
const std::regex compileDate(R"((?:[1-9]|[12]\d|3[01]) (?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} (?:\d|1\d|2[0-3]):[0-5]\d)");

bool is_compile_date(const juce::String& text)
{
    return std::regex_match(text.toStdString(), compileDate);
}
} // namespace

TEST(SystemInfo, ThirteenLabelledLines)
{
    const auto lines = system_info_lines();
    const juce::StringArray labels { "Launcher:     ", "Version:      ", "Build name:   ", "Compile date: ",
                                     "OS:           ", "Device:       ", "Manufacturer: ", "CPU model:    ",
                                     "CPU cores:    ", "Memory size:  ", "User region:  ", "User lang:    ",
                                     "Display lang: " };
    ASSERT_EQ(lines.size(), labels.size());
    for (int i = 0; i < labels.size(); ++i)
    {
        EXPECT_EQ(labels[i].length(), 14);
        EXPECT_TRUE(lines[i].startsWith(labels[i])) << lines[i];
    }

    EXPECT_EQ(lines[0], "Launcher:     Solvanter-launcher");
    EXPECT_EQ(lines[1], "Version:      2.9.24 e0accb7 13.05.2022");
    EXPECT_EQ(lines[2], "Build name:   Windows_2.9.24_e0accb7_2022-05-13_0702");

    const auto framework = "Compile date: " + juce::SystemStats::getJUCEVersion() + " ";
    ASSERT_TRUE(lines[3].startsWith(framework)) << lines[3];
    EXPECT_TRUE(is_compile_date(lines[3].substring(framework.length()))) << lines[3];

    // The bitness is the operating system's, with one leading blank.
    EXPECT_EQ(lines[4], "OS:           " + juce::SystemStats::getOperatingSystemName()
                            + (juce::SystemStats::isOperatingSystem64Bit() ? " 64 bit" : " 32 bit"));
    EXPECT_TRUE(std::regex_match(lines[8].toStdString(), std::regex(R"(CPU cores:    \d+C/\d+T)"))) << lines[8];
    EXPECT_TRUE(std::regex_match(lines[9].toStdString(), std::regex(R"(Memory size:  \d+ MB)"))) << lines[9];
}

TEST(SystemInfo, LogWritesIndentedUnstampedLinesAfterTheInfoLine)
{
    const auto lines = system_info_lines();
    CapturingLogger logger;
    ConsoleCapture console;
    log_system_info();
    console.finish();

    const auto logged = logger.lines();
    ASSERT_EQ(logged.size(), 14);
    EXPECT_TRUE(CapturingLogger::has_time_stamp(logged[0]));
    EXPECT_EQ(logged[0].substring(9), "[INFO]: System info");

    std::string expectedOut = (logged[0] + "\n").toStdString();
    for (int i = 0; i < lines.size(); ++i)
    {
        EXPECT_EQ(logged[i + 1], "    " + lines[i]);
        expectedOut += ("    " + lines[i] + "\n").toStdString();
    }
    EXPECT_EQ(console.out, expectedOut);
    EXPECT_TRUE(console.err.empty()) << console.err;
}

TEST(SystemInfo, AboutTextHasFourLinesAndNoTrailingLineFeed)
{
    const auto text = about_text();
    EXPECT_FALSE(text.endsWithChar('\n'));

    const auto lines = juce::StringArray::fromTokens(text, "\n", "");
    ASSERT_EQ(lines.size(), 4) << text;
    EXPECT_EQ(lines[0], "Solvanter Launcher 2.9.24");
    EXPECT_EQ(lines[1], "Version: 2.9.24 e0accb7 13.05.2022");
    const auto framework = juce::SystemStats::getJUCEVersion() + " ";
    ASSERT_TRUE(lines[2].startsWith(framework)) << lines[2];
    EXPECT_TRUE(is_compile_date(lines[2].substring(framework.length()))) << lines[2];
    EXPECT_EQ(lines[3], juce::SystemStats::getOperatingSystemName()
                            + (juce::SystemStats::isOperatingSystem64Bit() ? " 64 bit" : " 32 bit"));
}
