// The install's folder and the platform calls around it: launchers taking turns, the final rename,
// set-aside builds, finding the application's window, starting it, the permission bits.
#include "support/scene.h"

#include <sys/stat.h>

#include "engine/InstallLock.h"
#include "engine/StagedBuild.h"
#include "platform/platform.h"

using devbackend::Reply;

namespace
{
const ZipEntry exe { "Solvanter/Solvanter.exe", "#!/bin/sh\n", 0100755 };
} // namespace

// Two launchers in one folder take turns: the second waits, touching nothing (not even the first
// one's unzip folder), until the first is done.
TEST_F(EngineTest, InstallWaitsForAnotherLauncherInTheSameFolder)
{
    pack_app("1.0.0", shortLivedApp);
    const auto firstOnesBuild = launcher_child_file("Solvanter.installing/Solvanter/version.txt");
    ASSERT_TRUE(write_file(firstOnesBuild, "2.0.0"));
    juce::ChildProcess other;
    ASSERT_TRUE(other.start({ juce::File::getSpecialLocation(juce::File::currentExecutableFile).getFullPathName(),
                              "--hold-lock", InstallLock::file().getFullPathName() }));
    char said[6] = {};
    ASSERT_EQ(other.readProcessOutput(said, 6), 6);
    ASSERT_EQ(std::string(said, 6), "locked");

    auto launcher = make_launcher();
    launcher->startThread();
    ASSERT_TRUE(wait_until([&] { return log.logged({ "[INFO]: Waiting for another launcher to finish installing" }); }));
    EXPECT_FALSE(appFolder().exists());
    EXPECT_EQ(file_bytes(firstOnesBuild), "2.0.0");
    EXPECT_EQ(leftovers(), "Solvanter.installing");

    other.kill();
    ASSERT_TRUE(wait_until([&] { return ! launcher->isThreadRunning(); }, 30000));
    EXPECT_TRUE(log.logged({ "[INFO]: Unzipping 4 files finished in * seconds", "[INFO]: App process found*" }));
    EXPECT_EQ(installed_version(), "1.0.0");
    EXPECT_EQ(leftovers(), "");
}

// When the new build cannot be renamed into place, the old folder goes back where it was.
TEST(StagedBuild, FailedFinalRenamePutsTheOldFolderBack)
{
    ScratchFolder scratch;
    const auto folder = scratch / "App";
    ASSERT_TRUE(write_file(folder.getChildFile("version.txt"), "1.0.0"));
    const StagedBuild build(folder);
    ASSERT_FALSE(build.staged().exists()); // nothing to rename: the final rename fails

    StagedBuild::Replaced replaced;
    juce::File setAside;
    const auto result = build.swap_in("Old stays", replaced, setAside);
    EXPECT_EQ(result.getErrorMessage(), "Failed to move unzipped build into place: " + folder.getFullPathName().quoted());
    EXPECT_EQ(replaced, StagedBuild::Replaced::nothing);
    EXPECT_EQ(folder.getChildFile("version.txt").loadFileAsString(), "1.0.0");
    EXPECT_FALSE(folder.getSiblingFile("App.old").exists());
}

// A killed install may leave the old build set aside beside earlier ones that could not be
// removed: the newest, the highest number, is the one put back.
TEST(StagedBuild, CleanUpPutsTheNewestSetAsideBuildBack)
{
    const struct
    {
        std::vector<const char*> names; // the last two are not numbers of ours
        const char* newest;
    } rows[] = {
        { { "App.old", "App.old.2", "App.old.10", "App.old.x", "App.old.03" }, "App.old.10" },
        // However many digits, beyond any integer's range.
        { { "App.old.999999", "App.old.1000000", "App.old.99999999999999999999", "App.old.1e30", "App.old.-7" },
          "App.old.99999999999999999999" },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.newest);
        ScratchFolder scratch;
        for (auto name : row.names)
            ASSERT_TRUE(write_file(scratch / (juce::String(name) + "/version.txt"), name));
        const StagedBuild build(scratch / "App");

        EXPECT_TRUE(build.clean_up(true).isEmpty());
        EXPECT_EQ((scratch / "App/version.txt").loadFileAsString(), row.newest);
        EXPECT_EQ(scratch.folder.findChildFiles(juce::File::findDirectories, false, "App.*").size(), 2);
    }
}

// The new build goes in even when the one it replaces cannot be removed: that one stays aside,
// named in a line of its own, and later installs set theirs aside beside it.
TEST_F(EngineTest, ReplacedBuildThatCannotBeRemovedStaysAside)
{
    const struct
    {
        const char* version;
        bool undeletable; // the build it replaces
        const char* line;
        const char* stays;
    } rows[] = {
        { "2.0.0", true, "[INFO]: Could not remove the replaced app build \"*/Solvanter.old\"; it is removed at a later start",
          "Solvanter.old" },
        { "3.0.0", false, "[INFO]: Removed existing app", "Solvanter.old" },
        { "4.0.0", true, "[INFO]: Could not remove the replaced app build \"*/Solvanter.old.2\"; it is removed at a later start",
          "Solvanter.old,Solvanter.old.2" },
    };
    install_standin("1.0.0");
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.version);
        log.clear();
        if (row.undeletable)
            if (const auto why = make_undeletable(appFolder()); why.isNotEmpty())
                GTEST_SKIP() << why;
        const auto archive = zip_of({ exe, { "Solvanter/version.txt", row.version } });
        auto launcher = make_launcher();
        const auto result = LauncherComponentProbe { *launcher }.install_app({ archive.data(), archive.size() });

        EXPECT_TRUE(result.wasOk()) << result.getErrorMessage();
        EXPECT_TRUE(log.logged({ row.line, "!*Failed to remove existing app" })) << log.lines().joinIntoString("\n");
        EXPECT_EQ(installed_version(), row.version);
        EXPECT_EQ(leftovers(), row.stays);
    }
}

// The launcher's own window is not the application's, whose title is only the start of it.
TEST_F(EngineTest, WindowIsFoundByItsExactTitle)
{
    open_app_window(20000, "Solvanter Launcher");
    EXPECT_FALSE(platform::top_level_window_exists("Solvanter"));
}

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
