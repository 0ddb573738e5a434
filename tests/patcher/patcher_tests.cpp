// The self-update in process: Patcher::generate and Patcher::run, and the launcher's update steps
// against the dev backend, on real folders beside this test program (the launcher's folder).
#include "support/scene.h"

#include "engine/Patcher.h"
#include "services/build_info.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

namespace
{
std::string expected_batch(const std::string& moves)
{
    const auto executable = juce::File::getSpecialLocation(juce::File::hostApplicationPath).getFullPathName();
    return ">patcher.txt 2>&1 (\r\ntimeout /t 1\r\necho starting Launcher self-update...\r\n" + moves
           + "rd \"Solvanter Launcher\" /s /q\r\nrd \"Solvanter.app\" /s /q\r\necho restart updated launcher\r\n)\r\n\""
           + executable.toStdString() + "\"";
}

const std::string expectedVbs = "Set oShell = CreateObject(\"Wscript.Shell\")\r\nDim strArgs\r\n"
                                "strArgs = \"cmd /c patcher.bat\"\r\noShell.Run strArgs, 0, false";

struct PatcherFiles : EngineTest
{
    const juce::File newBuild = launcher_child_file("Solvanter Launcher");
    const juce::File batFile = launcher_child_file("patcher.bat");
    const juce::File vbsFile = launcher_child_file("patcher.vbs");
};
} // namespace

TEST_F(PatcherFiles, OneMovePerTopLevelEntryInListingOrder)
{
    for (auto name : { "solvanter-launcher", ".hidden", "sub folder/inner.txt", "Readme.txt", "README.TXT" })
        ASSERT_TRUE(write_file(newBuild.getChildFile(name), name));

    ASSERT_TRUE(Patcher(newBuild).generate().wasOk());

    // Each entry's line, in the order the OS lists them. Names equal but for case are one line at
    // the first one's place, moved from the later one's path.
    const std::map<juce::String, std::string> lineWhenFirst {
        { "solvanter-launcher", "move /y \"Solvanter Launcher\\solvanter-launcher\" \"solvanter-launcher\"\r\n" },
        { ".hidden", "move /y \"Solvanter Launcher\\.hidden\" \".hidden\"\r\n" },
        { "sub folder", "move /y \"Solvanter Launcher\\sub folder\" \"sub folder\"\r\n" },
        { "Readme.txt", "move /y \"Solvanter Launcher\\README.TXT\" \"Readme.txt\"\r\n" },
        { "README.TXT", "move /y \"Solvanter Launcher\\Readme.txt\" \"README.TXT\"\r\n" },
    };
    std::string moves;
    bool readmeDone = false;
    for (const auto& entry : juce::RangedDirectoryIterator(newBuild, false, "*", juce::File::findFilesAndDirectories))
    {
        const auto name = entry.getFile().getFileName();
        if (name.equalsIgnoreCase("readme.txt") && std::exchange(readmeDone, true))
            continue;
        moves += lineWhenFirst.at(name);
    }
    EXPECT_EQ(file_bytes(batFile), expected_batch(moves));
    EXPECT_EQ(file_bytes(vbsFile), expectedVbs);
    EXPECT_TRUE(log.lines().contains("[INFO]: Generating patcher script"));
}

TEST_F(PatcherFiles, EmptyBuildWritesNothingAndTheLastRunWins)
{
    EXPECT_EQ(Patcher(newBuild).generate().getErrorMessage(), "Could not find any files in launcher build");
    ASSERT_TRUE(newBuild.createDirectory());
    EXPECT_EQ(Patcher(newBuild).generate().getErrorMessage(), "Could not find any files in launcher build");
    EXPECT_FALSE(batFile.exists() || vbsFile.exists());

    ASSERT_TRUE(write_file(newBuild.getChildFile("first"), "1") && Patcher(newBuild).generate().wasOk());
    ASSERT_TRUE(newBuild.getChildFile("first").deleteFile() && write_file(newBuild.getChildFile("second"), "2"));
    Patcher patcher(newBuild);
    ASSERT_TRUE(patcher.generate().wasOk());

    EXPECT_EQ(file_bytes(batFile), expected_batch("move /y \"Solvanter Launcher\\second\" \"second\"\r\n"));
    EXPECT_EQ(file_bytes(vbsFile), expectedVbs);
    // No temporary file of the writes is left behind.
    EXPECT_EQ(launcher_directory().findChildFiles(juce::File::findFilesAndDirectories, false, "*patcher*.*").size(), 2);

    // With a working script host beside it, only the missing script stops the start.
    ASSERT_TRUE(copy_executable(script_host_binary(), launcher_child_file("solvanter-script-host")));
    ASSERT_TRUE(vbsFile.deleteFile());
    EXPECT_EQ(patcher.run().getErrorMessage(), "Failed to start patcher script");
    EXPECT_TRUE(log.lines().contains("[INFO]: Running patcher script"));
}

// A name the batch file cannot hold would split or end its line: nothing is written.
TEST_F(PatcherFiles, NamesTheBatchFileCannotCarryWriteNothing)
{
    ASSERT_TRUE(write_file(newBuild.getChildFile("solvanter-launcher"), "new"));
    for (const std::string name : { "evil\necho injected", "quote\"d", "back\\slash", "100%", "a:b" })
    {
        SCOPED_TRACE(name);
        const auto path = std::filesystem::path(newBuild.getFullPathName().toStdString()) / name;
        std::ofstream(path) << "x";
        ASSERT_TRUE(std::filesystem::exists(path));
        EXPECT_EQ(Patcher(newBuild).generate().getErrorMessage(),
                  "Launcher build entry \"" + juce::String(name).replace("\n", "\\n")
                      + "\" cannot be written to the patcher script");
        EXPECT_FALSE(batFile.exists() || vbsFile.exists());
        std::filesystem::remove(path);
    }
}

// A folder with contents where a script goes: no rename can replace it, root or not.
TEST_F(PatcherFiles, ScriptsThatCannotBeWritten)
{
    ASSERT_TRUE(write_file(newBuild.getChildFile("solvanter-launcher"), "new"));
    ASSERT_TRUE(write_file(batFile.getChildFile("keep"), "x") && write_file(vbsFile, "older script"));
    EXPECT_EQ(Patcher(newBuild).generate().getErrorMessage(), "Failed to write patcher batch script to file");
    EXPECT_EQ(file_bytes(vbsFile), "older script");

    ASSERT_TRUE(batFile.deleteRecursively() && vbsFile.deleteFile() && write_file(vbsFile.getChildFile("keep"), "x"));
    EXPECT_EQ(Patcher(newBuild).generate().getErrorMessage(), "Failed to write patcher script to file");
    EXPECT_EQ(file_bytes(batFile),
              expected_batch("move /y \"Solvanter Launcher\\solvanter-launcher\" \"solvanter-launcher\"\r\n"));
}

namespace
{
const std::string checkPath = std::string("/launcher/Windows/check_version/launcher/current/")
                              + build_info::launcher_name + "/" + build_info::build_name;

struct SelfUpdate : EngineTest
{
    LauncherComponentProbe updating()
    {
        launcher = make_launcher();
        launcher->skipUpdate = false;
        log.clear(); // the constructor's own lines
        return { *launcher };
    }

    std::unique_ptr<LauncherComponent> launcher;
};
} // namespace

TEST_F(SelfUpdate, RepliesThatOfferNoUpdate)
{
    auto probe = updating();
    const std::pair<std::string, juce::String> rows[] {
        { R"({"result":true})", "[ERROR]: Launcher version query failed" },
        { R"({"remote_version":"2.9.25"})", "[ERROR]: Launcher version query failed" },
        { "not json at all", "[ERROR]: Launcher version query failed" },
        { R"({"result":true,"remote_version":"2.9.24"})", "[INFO]: Launcher is up to date" },
        { R"({"result":false,"remote_version":"  \t "})", "[INFO]: No remote version available for launcher" },
    };
    for (const auto& [reply, line] : rows)
    {
        SCOPED_TRACE(reply);
        log.clear();
        backend.script(checkPath, devbackend::Reply::json(reply));
        EXPECT_TRUE(probe.update_launcher());
        EXPECT_TRUE(log.logged({ "[STATE]: Checking launcher update to current", line })) << log.lines().joinIntoString("\n");
        EXPECT_TRUE(launcher->launcherUpdateVersion.isEmpty());
    }
    EXPECT_EQ(count_starting(backend.requests(), checkPath), 5);
    EXPECT_FALSE(requested("/launcher/Windows/get_build_url/"));
}

TEST_F(SelfUpdate, FailedUpdatesKeepTheVersionAndWhatWasWritten)
{
    auto probe = updating();
    launcher->config.launcher_build = BuildType::latest;
    backend.set_launcher_update(" 2.9.25 ", "launcher.zip", 5);
    const auto newBuild = launcher_child_file("Solvanter Launcher");

    // Entries outside the build folder are refused before anything is written.
    backend.script("/builds/launcher.zip", devbackend::Reply::file(zip_of({ { "stray-entry.txt", "not in a folder" } })));
    EXPECT_FALSE(probe.update_launcher());
    EXPECT_EQ(launcher->launcherUpdateVersion, "2.9.25");
    EXPECT_TRUE(log.logged({ "[STATE]: Checking launcher update to latest", "[STATE]: Launcher update available",
                             "[INFO]: Update to latest: \"2.9.25\"", "[STATE]: Updating launcher",
                             "[INFO]: Unzipping launcher build to: " + newBuild.getFullPathName().quoted(),
                             "[ERROR]: Failed to unzip entry 0: \"stray-entry.txt\"",
                             "[ERROR]: Entry stray-entry.txt is outside the target directory" }))
        << log.lines().joinIntoString("\n");
    EXPECT_FALSE(launcher_child_file("stray-entry.txt").exists() || launcher_child_file("patcher.bat").exists());

    // Asked again, the version found is used without a request. With no script host beside this
    // program the hand-over fails after the scripts were written. The archive is exactly 1.5 MB.
    const juce::String name = "Solvanter Launcher/solvanter-launcher";
    const std::string payload(1572864 - zip_of({ { name, "" } }).size(), 'x');
    backend.script("/builds/launcher.zip", devbackend::Reply::file(zip_of({ { name, payload } })));
    log.clear();
    EXPECT_FALSE(probe.update_launcher());
    EXPECT_EQ(log.lines()[0], "[INFO]: Already got launcher update version");
    EXPECT_EQ(count_starting(backend.requests(), "/launcher/Windows/check_version/"), 1);
    EXPECT_TRUE(log.logged({ "[INFO]: Zip data size: 1.50 MB", "[ERROR]: Failed to start patcher script",
                             "!*Closing launcher for self-update" }));
    EXPECT_FALSE(launcher->threadShouldExit());
    EXPECT_EQ(file_bytes(newBuild.getChildFile("solvanter-launcher")), payload);
    EXPECT_TRUE(launcher_child_file("patcher.bat").existsAsFile() && launcher_child_file("patcher.vbs").existsAsFile());
}
