#include <gtest/gtest.h>

#include "app/SolvanterLauncher.h"
#include "support/captured_log.h"

TEST(DeepLink, HandlerLogsByTheLinksOption)
{
    const juce::String launched = "[INFO]: Launched with deep link";
    const std::pair<const char*, juce::StringArray> cases[] = {
        { "solvanter://launch", { launched } },
        { "SOLVANTER://LAUNCH", { launched } },
        { "solvanter://", { launched } },
        { "solvanter://update", { launched, "[ERROR]: Unsupported deep link option: update" } },
        { "--headless --skip-update", { "[INFO]: Another instance started with args: --headless --skip-update" } },
        { "xsolvanter://launch", { "[INFO]: Another instance started with args: xsolvanter://launch" } },
    };

    SolvanterLauncher launcher;
    for (const auto& [link, expected] : cases)
    {
        CapturedLog log;
        launcher.anotherInstanceStarted(link);
        EXPECT_EQ(log.lines(), expected) << link;
    }
}
