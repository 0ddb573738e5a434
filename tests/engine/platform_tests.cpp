#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/platform.h"
#include "support/scene.h"

// The launcher lets go of the application's output pipe when it quits; the application must
// survive writing to it afterwards.
TEST(StartProgram, StartedProgramSurvivesWritingAfterTheLauncherLetGo)
{
    ScratchFolder scratch;
    const auto marker = scratch / "marker";
    {
        juce::ChildProcess process;
        ASSERT_TRUE(platform::start_program(
            process, { "/bin/sh", "-c", "sleep 0.3; echo written; echo survived > \"$0\"", marker.getFullPathName() }));
    }
    EXPECT_TRUE(wait_until([&] { return marker.loadFileAsString() == "survived\n"; }, 5000));

    juce::ChildProcess process;
    EXPECT_FALSE(platform::start_program(process, { (scratch / "missing").getFullPathName() }));
}

// Only the permission bits of an entry are taken, through the umask; never set-user-id,
// set-group-id or sticky.
TEST(EntryPermissions, KeepOnlyTheUmaskedPermissionBits)
{
    ScratchFolder scratch;
    const auto file = scratch / "entry";
    ASSERT_TRUE(file.replaceWithText("x"));
    const auto previousMask = umask(027);
    for (const auto& [mode, expected] : { std::pair<unsigned, unsigned> { 0106777, 0750 }, { 0100755, 0750 }, { 0100600, 0600 } })
    {
        juce::ZipFile::ZipEntry entry;
        entry.externalFileAttributes = mode << 16;
        platform::apply_entry_permissions(entry, file);
        struct stat info {};
        ASSERT_EQ(stat(file.getFullPathName().toRawUTF8(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777u, expected) << std::oct << mode;
    }
    umask(previousMask);
}
