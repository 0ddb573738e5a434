#include "services/system_info.h"
#include "services_test_support.h"

namespace
{
// The framework version, then "d Mon yyyy H:MM": no leading zeros on day and hour, no seconds, no am/pm.
bool is_framework_and_compile_date(const juce::String& text)
{
    return std::regex_match(text.toStdString(),
                            std::regex(juce::SystemStats::getJUCEVersion().replace(".", "\\.").toStdString()
                                       + R"( (?:[1-9]|[12]\d|3[01]) (?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec))"
                                       + R"( \d{4} (?:\d|1\d|2[0-3]):[0-5]\d)"));
}

const juce::String bitness = juce::SystemStats::isOperatingSystem64Bit() ? " 64 bit" : " 32 bit";
} // namespace

TEST(SystemInfo, ThirteenLabelledLinesLoggedIndentedWithoutStamps)
{
    const auto lines = system_info_lines();
    const char* labels[] { "Launcher:     ", "Version:      ", "Build name:   ", "Compile date: ", "OS:           ",
                           "Device:       ", "Manufacturer: ", "CPU model:    ", "CPU cores:    ", "Memory size:  ",
                           "User region:  ", "User lang:    ", "Display lang: " };
    ASSERT_EQ(lines.size(), 13);
    for (int i = 0; i < 13; ++i)
        EXPECT_TRUE(lines[i].startsWith(labels[i])) << lines[i];

    EXPECT_EQ(lines[0], "Launcher:     Solvanter-launcher");
    EXPECT_EQ(lines[1], "Version:      2.9.24 e0accb7 13.05.2022");
    EXPECT_EQ(lines[2], "Build name:   Windows_2.9.24_e0accb7_2022-05-13_0702");
    EXPECT_TRUE(is_framework_and_compile_date(lines[3].substring(14))) << lines[3];
    // The operating system's bitness, not the process's.
    EXPECT_EQ(lines[4], "OS:           " + juce::SystemStats::getOperatingSystemName() + bitness);
    EXPECT_TRUE(std::regex_match(lines[8].toStdString(), std::regex(R"(CPU cores:    \d+C/\d+T)"))) << lines[8];
    EXPECT_TRUE(std::regex_match(lines[9].toStdString(), std::regex(R"(Memory size:  \d+ MB)"))) << lines[9];

    CapturedLog logger;
    CaptureStdout();
    CaptureStderr();
    log_system_info();
    const auto out = GetCapturedStdout(), err = GetCapturedStderr();

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
    EXPECT_TRUE(is_framework_and_compile_date(lines[2])) << lines[2];
    EXPECT_EQ(lines[3], juce::SystemStats::getOperatingSystemName() + bitness);
}
