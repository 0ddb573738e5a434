#include <gtest/gtest.h>

#include "app/SolvanterLauncher.h"

namespace
{
// Collects the log lines without their "%H:%M:%S " time stamps.
struct CapturedLog : juce::Logger
{
    CapturedLog() { juce::Logger::setCurrentLogger(this); }
    ~CapturedLog() override { juce::Logger::setCurrentLogger(nullptr); }
    void logMessage(const juce::String& message) override { lines.add(message.substring(9)); }
    juce::StringArray lines;
};
} // namespace

TEST(DeepLink, HandlerLogsByTheLinksOption)
{
    const juce::String launched = "[INFO]: Launched with deep link";
    const std::pair<const char*, juce::StringArray> cases[] = {
        { "solvanter://launch", { launched } },
        { "SOLVANTER://LAUNCH", { launched } },
        { "Solvanter://Launch/", { launched } },
        { "solvanter://launch?from=web", { launched } },
        { "solvanter://", { launched } },
        { "solvanter://update", { launched, "[ERROR]: Unsupported deep link option: update" } },
        { "solvanter:launch", { launched, "[ERROR]: Unsupported deep link option: solvanter" } },
        { "--headless --skip-update", { "[INFO]: Another instance started with args: --headless --skip-update" } },
        { "xsolvanter://launch", { "[INFO]: Another instance started with args: xsolvanter://launch" } },
    };

    SolvanterLauncher launcher;
    for (const auto& [link, expected] : cases)
    {
        CapturedLog log;
        launcher.anotherInstanceStarted(link);
        EXPECT_EQ(log.lines, expected) << link;
    }
}
