// Patcher::generate and Patcher::run on real folders beside this test program, which is the
// launcher's folder for in-process tests.
#include "patcher_test_support.h"

#include "engine/Patcher.h"

#include <filesystem>
#include <vector>

namespace
{
struct Move
{
    std::string source;  // relative to the launcher's folder, with backslashes
    std::string target;
};

class PatcherFiles : public ::testing::Test
{
protected:
    void SetUp() override { clean(); }
    void TearDown() override { clean(); }

    void clean()
    {
        for (auto name : { "Solvanter Launcher", "updates", "patcher.bat", "patcher.vbs", "patcher.txt",
                           "solvanter-script-host" })
            launcher.getChildFile(name).deleteRecursively();
    }

    // Names of a folder's entries in the order the OS lists them.
    static std::vector<std::string> listing(const juce::File& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.getFullPathName().toStdString()))
            names.push_back(entry.path().filename().string());
        return names;
    }

    std::string expected_batch(const std::vector<Move>& moves, const std::string& buildFolder) const
    {
        std::string text = ">patcher.txt 2>&1 (" + crlf + "timeout /t 1" + crlf
                           + "echo starting Launcher self-update..." + crlf;
        for (const auto& move : moves)
            text += "move /y \"" + move.source + "\" \"" + move.target + "\"" + crlf;
        text += "rd \"" + buildFolder + "\" /s /q" + crlf;
        text += "rd \"Solvanter.app\" /s /q" + crlf;
        text += "echo restart updated launcher" + crlf;
        text += ")" + crlf;
        text += "\"" + executable.getFullPathName().toStdString() + "\"";
        return text;
    }

    static std::string expected_vbs()
    {
        return "Set oShell = CreateObject(\"Wscript.Shell\")" + crlf + "Dim strArgs" + crlf
               + "strArgs = \"cmd /c patcher.bat\"" + crlf + "oShell.Run strArgs, 0, false";
    }

    const juce::File executable = juce::File::getSpecialLocation(juce::File::hostApplicationPath);
    const juce::File launcher = executable.getParentDirectory();
    const juce::File newBuild = launcher.getChildFile("Solvanter Launcher");
    const juce::File batFile = launcher.getChildFile("patcher.bat");
    const juce::File vbsFile = launcher.getChildFile("patcher.vbs");
    LineCollector log;
};

TEST_F(PatcherFiles, WritesOneMoveLinePerTopLevelEntryInListingOrder)
{
    // Files, a folder with contents, blanks in names and a hidden entry.
    ASSERT_TRUE(write_file(newBuild.getChildFile("solvanter-launcher"), "new launcher"));
    ASSERT_TRUE(write_file(newBuild.getChildFile("release notes.txt"), "notes"));
    ASSERT_TRUE(write_file(newBuild.getChildFile(".hidden"), "hidden"));
    ASSERT_TRUE(write_file(newBuild.getChildFile("sub folder/inner.txt"), "inner"));
    ASSERT_TRUE(write_file(newBuild.getChildFile("sub folder/deeper/leaf.txt"), "leaf"));

    const auto result = Patcher(newBuild).generate();
    ASSERT_TRUE(result.wasOk()) << result.getErrorMessage();

    std::vector<Move> moves;
    for (const auto& name : listing(newBuild))
        moves.push_back({ "Solvanter Launcher\\" + name, name });
    ASSERT_EQ(moves.size(), 4u);

    EXPECT_EQ(file_bytes(batFile), expected_batch(moves, "Solvanter Launcher"));
    EXPECT_EQ(file_bytes(vbsFile), expected_vbs());
    EXPECT_TRUE(log.has("[INFO]: Generating patcher script"));
}

TEST_F(PatcherFiles, DeeperBuildFolderGetsBackslashedRelativePaths)
{
    const auto nested = launcher.getChildFile("updates/Solvanter Launcher");
    ASSERT_TRUE(write_file(nested.getChildFile("solvanter-launcher"), "new launcher"));

    ASSERT_TRUE(Patcher(nested).generate().wasOk());

    EXPECT_EQ(file_bytes(batFile),
              expected_batch({ { "updates\\Solvanter Launcher\\solvanter-launcher", "solvanter-launcher" } },
                             "updates\\Solvanter Launcher"));
}

TEST_F(PatcherFiles, NamesDifferingOnlyInCaseGiveOneMoveAtTheFirstPosition)
{
    ASSERT_TRUE(write_file(newBuild.getChildFile("Readme.txt"), "a"));
    ASSERT_TRUE(write_file(newBuild.getChildFile("README.TXT"), "b"));
    ASSERT_TRUE(write_file(newBuild.getChildFile("other"), "c"));

    ASSERT_TRUE(Patcher(newBuild).generate().wasOk());

    // The first spelling listed names the target; the later one's path is the source.
    std::vector<Move> moves;
    std::string firstReadme;
    for (const auto& name : listing(newBuild))
    {
        if (juce::String(name).equalsIgnoreCase("readme.txt"))
        {
            if (firstReadme.empty())
            {
                firstReadme = name;
                moves.push_back({ "", name });
                continue;
            }
            for (auto& move : moves)
                if (move.target == firstReadme)
                    move.source = "Solvanter Launcher\\" + name;
            continue;
        }
        moves.push_back({ "Solvanter Launcher\\" + name, name });
    }
    ASSERT_EQ(moves.size(), 2u);

    EXPECT_EQ(file_bytes(batFile), expected_batch(moves, "Solvanter Launcher"));
}

TEST_F(PatcherFiles, MissingOrEmptyBuildFolderWritesNothing)
{
    auto result = Patcher(newBuild).generate();
    EXPECT_EQ(result.getErrorMessage(), "Could not find any files in launcher build");

    ASSERT_TRUE(newBuild.createDirectory());
    result = Patcher(newBuild).generate();
    EXPECT_EQ(result.getErrorMessage(), "Could not find any files in launcher build");

    EXPECT_FALSE(batFile.exists());
    EXPECT_FALSE(vbsFile.exists());
}

TEST_F(PatcherFiles, GeneratingTwiceLeavesOneCopyOfTheSecondText)
{
    ASSERT_TRUE(write_file(newBuild.getChildFile("first"), "1"));
    ASSERT_TRUE(Patcher(newBuild).generate().wasOk());

    ASSERT_TRUE(newBuild.getChildFile("first").deleteFile());
    ASSERT_TRUE(write_file(newBuild.getChildFile("second"), "2"));
    ASSERT_TRUE(Patcher(newBuild).generate().wasOk());

    EXPECT_EQ(file_bytes(batFile), expected_batch({ { "Solvanter Launcher\\second", "second" } }, "Solvanter Launcher"));
    EXPECT_EQ(file_bytes(vbsFile), expected_vbs());

    // No temporary file of the writes is left behind.
    juce::StringArray scripts;
    for (const auto& entry : juce::RangedDirectoryIterator(launcher, false, "*patcher*",
                                                           juce::File::findFilesAndDirectories))
        if (entry.getFile() != executable)
            scripts.add(entry.getFile().getFileName());
    scripts.sort(false);
    EXPECT_EQ(scripts, juce::StringArray({ "patcher.bat", "patcher.vbs" }));
}

TEST_F(PatcherFiles, BatchFileThatCannotBeWrittenStopsBeforeTheScript)
{
    ASSERT_TRUE(write_file(newBuild.getChildFile("solvanter-launcher"), "new"));
    // A folder with contents where the batch file goes: no rename can replace it, root or not.
    ASSERT_TRUE(write_file(batFile.getChildFile("keep"), "x"));
    ASSERT_TRUE(write_file(vbsFile, "older script"));

    const auto result = Patcher(newBuild).generate();

    EXPECT_EQ(result.getErrorMessage(), "Failed to write patcher batch script to file");
    EXPECT_EQ(file_bytes(vbsFile), "older script");
}

TEST_F(PatcherFiles, ScriptThatCannotBeWrittenKeepsTheBatchFileAndCannotRun)
{
    ASSERT_TRUE(write_file(newBuild.getChildFile("solvanter-launcher"), "new"));
    ASSERT_TRUE(write_file(vbsFile.getChildFile("keep"), "x"));

    Patcher patcher(newBuild);
    EXPECT_EQ(patcher.generate().getErrorMessage(), "Failed to write patcher script to file");
    EXPECT_EQ(file_bytes(batFile),
              expected_batch({ { "Solvanter Launcher\\solvanter-launcher", "solvanter-launcher" } },
                             "Solvanter Launcher"));

    // A folder named like the script is not a script to start.
    EXPECT_EQ(patcher.run().getErrorMessage(), "Failed to start patcher script");
}

TEST_F(PatcherFiles, RunFailsWithoutTheScriptOrARunnableHost)
{
    ASSERT_TRUE(write_file(newBuild.getChildFile("solvanter-launcher"), "new"));
    Patcher patcher(newBuild);
    ASSERT_TRUE(patcher.generate().wasOk());

    // No host beside the executable, then one that may not be executed.
    EXPECT_EQ(patcher.run().getErrorMessage(), "Failed to start patcher script");
    const auto host = launcher.getChildFile("solvanter-script-host");
    ASSERT_TRUE(write_file(host, "#!/bin/sh\n"));
    ASSERT_TRUE(host.setExecutePermission(false));
    EXPECT_EQ(patcher.run().getErrorMessage(), "Failed to start patcher script");

    // A working host, but the script was deleted.
    ASSERT_TRUE(copy_script_host_to(launcher));
    ASSERT_TRUE(vbsFile.deleteFile());
    EXPECT_EQ(patcher.run().getErrorMessage(), "Failed to start patcher script");
    EXPECT_TRUE(log.has("[INFO]: Running patcher script"));
}

TEST_F(PatcherFiles, RunStartsTheHostOnTheScriptInTheWorkingDirectory)
{
    ASSERT_TRUE(script_host_binary().existsAsFile()) << "build solvanter-script-host first";
    ASSERT_TRUE(copy_script_host_to(launcher));
    ASSERT_TRUE(write_file(newBuild.getChildFile("solvanter-launcher"), "new"));

    Patcher patcher(newBuild);
    ASSERT_TRUE(patcher.generate().wasOk());
    // The generated batch file would restart this test program; the host must read another one.
    ASSERT_TRUE(batFile.deleteFile());

    ScratchFolder work;
    ASSERT_TRUE(write_file(work / "patcher.bat",
                           ">patcher.txt 2>&1 (\r\ntimeout /t 2\r\necho ran in the working folder\r\n)"));
    WorkingDirectory cwd(work.get());
    ASSERT_TRUE(cwd.ok());

    ASSERT_TRUE(patcher.run().wasOk());
    // It does not wait for the script, which is still in its wait.
    EXPECT_EQ(file_bytes(work / "patcher.txt").find("ran in the working folder"), std::string::npos);

    EXPECT_TRUE(eventually(
        [&] { return file_bytes(work / "patcher.txt") == "Waiting for 2 seconds...\r\nran in the working folder\r\n"; },
        15000))
        << file_bytes(work / "patcher.txt");
}
} // namespace
