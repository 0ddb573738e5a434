#include <gtest/gtest.h>

#include "platform/platform.h"

// The launcher lets go of the application's output pipe when it quits; the application must
// survive writing to it afterwards.
TEST(StartProgram, StartedProgramSurvivesWritingAfterTheLauncherLetGo)
{
    const auto folder = juce::File::createTempFile("start-program");
    ASSERT_TRUE(folder.createDirectory());
    const auto marker = folder.getChildFile("marker");

    {
        juce::ChildProcess process;
        ASSERT_TRUE(platform::start_program(
            process, { "/bin/sh", "-c", "sleep 0.3; echo written; echo survived > \"$0\"", marker.getFullPathName() }));
    }

    for (int i = 0; i < 100 && ! marker.existsAsFile(); ++i)
        juce::Thread::sleep(50);
    EXPECT_EQ(marker.loadFileAsString().trim(), "survived");

    juce::ChildProcess process;
    EXPECT_FALSE(platform::start_program(process, { folder.getChildFile("missing").getFullPathName() }));
    folder.deleteRecursively();
}
