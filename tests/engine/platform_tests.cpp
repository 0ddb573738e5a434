#include <gtest/gtest.h>

#include <sys/stat.h>

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

// Only the permission bits of an entry are taken, through the umask; never set-user-id,
// set-group-id or sticky.
TEST(EntryPermissions, KeepOnlyTheUmaskedPermissionBits)
{
    const auto file = juce::File::createTempFile("entry-permissions");
    ASSERT_TRUE(file.replaceWithText("x"));
    const auto previousMask = umask(027);
    const std::pair<unsigned, unsigned> rows[] { { 0106777, 0750 }, { 0100755, 0750 }, { 0100600, 0600 } };
    for (const auto& [mode, expected] : rows)
    {
        juce::ZipFile::ZipEntry entry;
        entry.externalFileAttributes = mode << 16;
        platform::apply_entry_permissions(entry, file);
        struct stat info {};
        ASSERT_EQ(stat(file.getFullPathName().toRawUTF8(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777u, expected) << std::oct << mode;
    }
    umask(previousMask);
    file.deleteFile();
}
