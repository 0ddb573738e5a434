#include <gtest/gtest.h>

#include "app/command_line.h"
#include "launcher_process.h"

namespace
{
const char* const expectedUsage =
    "Solvanter Launcher 2.9.24 e0accb7 13.05.2022\n"
    "  --help                     Print usage and exit\n"
    "  --headless                 Run without GUI\n"
    "  --skip-app-update          Skip app update (if installed)\n"
    "  --skip-update              Skip launcher update\n"
    "  --version                  Print build version and exit\n"
    "  --write-config             Write config file\n"
    "  --write-config-and-quit    Write config file and exit";

juce::StringArray texts_of(const juce::ArgumentList& args)
{
    juce::StringArray texts;
    for (const auto& arg : args.arguments)
        texts.add(arg.text);
    return texts;
}
} // namespace

TEST(CommandLine, UsageTextByteForByte)
{
    EXPECT_EQ(usage_text(), juce::String(expectedUsage));

    // Every description starts in column 30.
    juce::StringArray lines;
    lines.addLines(usage_text());
    ASSERT_EQ(lines.size(), 8);
    for (int i = 1; i < lines.size(); ++i)
    {
        EXPECT_NE(lines[i][29], ' ') << lines[i];
        EXPECT_EQ(lines[i][28], ' ') << lines[i];
    }
}

TEST(CommandLine, QuotedRunsStayOneArgumentAndAreUnquoted)
{
    const auto args = parse_command_line("  --headless\t\"--skip-update\"  \"a b\r\nc\" \n --write-config ");
    EXPECT_EQ(texts_of(args), juce::StringArray({ "--headless", "--skip-update", "a b\r\nc", "--write-config" }));
    EXPECT_EQ(args.executableName, "Solvanter Launcher");
    EXPECT_EQ(parse_command_line("").size(), 0);
    EXPECT_EQ(parse_command_line(" \t \n").size(), 0);
}

TEST(CommandLine, OptionMatching)
{
    struct Case
    {
        const char* commandLine;
        const char* option;
        bool present;
    };
    const Case cases[] = {
        { "--headless", "--headless", true },
        { "--headless=1", "--headless", true },
        { "--headless=", "--headless", true },
        { "--headlessly", "--headless", false },
        { "-headless", "--headless", false },
        { "--write-config-and-quit", "--write-config", false },
        { "--write-config-and-quit", "--write-config-and-quit", true },
        { "--write-config=yes", "--write-config", true },
        { "--skip-app-update", "--skip-update", false },
        { "--skip-update", "--skip-app-update", false },
        { "\"--version\"", "--version", true },
    };

    for (const auto& c : cases)
        EXPECT_EQ(parse_command_line(c.commandLine).indexOfOption(c.option) >= 0, c.present)
            << c.commandLine << " / " << c.option;
}

// The real program: "--help" and "--version" answer on standard output, log nothing and quit.
TEST(LauncherProgram, HelpWinsOverVersionInEitherOrder)
{
    for (const auto& args : { juce::StringArray { "--help", "--version" }, juce::StringArray { "--version", "--help" },
                              juce::StringArray { "--headless", "--help=please" } })
    {
        LauncherProcess launcher;
        ASSERT_TRUE(launcher.run(args)) << args.joinIntoString(" ");
        EXPECT_TRUE(launcher.exited_normally());
        EXPECT_EQ(launcher.exit_code(), 0);
        EXPECT_EQ(launcher.std_out(), juce::String(expectedUsage) + "\n");
        EXPECT_EQ(launcher.std_err(), "");
        EXPECT_FALSE(launcher.home().getChildFile(".config").exists());
        EXPECT_FALSE(launcher.config_file().exists());
    }
}

TEST(LauncherProgram, VersionPrintsTheBuildNameOnly)
{
    LauncherProcess launcher;
    ASSERT_TRUE(launcher.run({ "--version", "--write-config-and-quit" }));
    EXPECT_EQ(launcher.exit_code(), 0);
    EXPECT_EQ(launcher.std_out(), "Solvanter-launcher_Windows_2.9.24_e0accb7_2022-05-13_0702\n");
    EXPECT_EQ(launcher.std_err(), "");
    EXPECT_FALSE(launcher.home().getChildFile(".config").exists());
    EXPECT_FALSE(launcher.config_file().exists());
}
