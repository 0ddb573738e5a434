#include <gtest/gtest.h>

#include "app/SolvanterLauncher.h"
#include "app_test_support.h"

TEST(DeepLink, HandlerLogsByTheLinksOption)
{
    struct Case
    {
        const char* commandLine;
        juce::StringArray expected;
    };
    const juce::String launched = "[INFO]: Launched with deep link";
    const Case cases[] = {
        { "solvanter://launch", { launched } },
        { "SOLVANTER://LAUNCH", { launched } },
        { "Solvanter://Launch/", { launched } },
        { "solvanter://launch?from=web", { launched } },
        { "solvanter://launch/?from=web&x=1", { launched } },
        { "solvanter:///launch", { launched } },
        { "solvanter://", { launched } },
        { "solvanter://update", { launched, "[ERROR]: Unsupported deep link option: update" } },
        { "solvanter://update:80/x", { launched, "[ERROR]: Unsupported deep link option: update" } },
        { "solvanter:launch", { launched, "[ERROR]: Unsupported deep link option: solvanter" } },
        { "--headless --skip-update", { "[INFO]: Another instance started with args: --headless --skip-update" } },
        { "xsolvanter://launch", { "[INFO]: Another instance started with args: xsolvanter://launch" } },
        { "", { "[INFO]: Another instance started with args: " } },
    };

    SolvanterLauncher launcher;
    EXPECT_TRUE(launcher.moreThanOneInstanceAllowed());
    EXPECT_EQ(launcher.getApplicationName(), "Solvanter Launcher");
    EXPECT_EQ(launcher.getApplicationVersion(), "2.9.24");

    for (const auto& c : cases)
    {
        CapturedLog log;
        launcher.anotherInstanceStarted(c.commandLine);
        EXPECT_EQ(log.lines(), c.expected) << c.commandLine;
    }
}
