// Patcher::generate and Patcher::run on real folders beside this test program, the launcher's
// folder for in-process tests.
#include "patcher_test_support.h"

#include "engine/Patcher.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

namespace
{
using Moves = std::vector<std::pair<std::string, std::string>>;  // source, target

std::string expected_batch(const Moves& moves)
{
    const auto executable = juce::File::getSpecialLocation(juce::File::hostApplicationPath);
    std::string text = ">patcher.txt 2>&1 (\r\ntimeout /t 1\r\necho starting Launcher self-update...\r\n";
    for (const auto& [source, target] : moves)
        text += "move /y \"" + source + "\" \"" + target + "\"\r\n";
    return text + "rd \"Solvanter Launcher\" /s /q\r\nrd \"Solvanter.app\" /s /q\r\necho restart updated launcher\r\n)\r\n\""
           + executable.getFullPathName().toStdString() + "\"";
}

const std::string expectedVbs = "Set oShell = CreateObject(\"Wscript.Shell\")\r\nDim strArgs\r\n"
                                "strArgs = \"cmd /c patcher.bat\"\r\noShell.Run strArgs, 0, false";

class PatcherFiles : public ::testing::Test
{
protected:
    void TearDown() override { clean_test_folder(); }

    const juce::File folder = clean_test_folder();
    const juce::File newBuild = folder.getChildFile("Solvanter Launcher");
    const juce::File batFile = folder.getChildFile("patcher.bat");
    const juce::File vbsFile = folder.getChildFile("patcher.vbs");
    CapturedLog log;
};

TEST_F(PatcherFiles, OneMovePerTopLevelEntryInListingOrder)
{
    for (auto name : { "solvanter-launcher", "release notes.txt", ".hidden", "sub folder/inner.txt", "Readme.txt",
                       "README.TXT" })
        ASSERT_TRUE(write_file(newBuild.getChildFile(name), name));

    ASSERT_TRUE(Patcher(newBuild).generate().wasOk());

    // The OS decides the listing order. Names equal but for case are one target at the first
    // one's place, moved from the later one's path.
    Moves moves;
    for (const auto& entry : std::filesystem::directory_iterator(newBuild.getFullPathName().toStdString()))
    {
        const auto name = entry.path().filename().string();
        const auto same = std::find_if(moves.begin(), moves.end(),
                                       [&](const auto& m) { return juce::String(m.second).equalsIgnoreCase(juce::String(name)); });
        if (same != moves.end())
            same->first = "Solvanter Launcher\\" + name;
        else
            moves.push_back({ "Solvanter Launcher\\" + name, name });
    }
    ASSERT_EQ(moves.size(), 5u);

    EXPECT_EQ(file_bytes(batFile), expected_batch(moves));
    EXPECT_EQ(file_bytes(vbsFile), expectedVbs);
    EXPECT_TRUE(log.lines().contains("[INFO]: Generating patcher script"));
}

TEST_F(PatcherFiles, EmptyBuildWritesNothingAndTheLastRunWins)
{
    EXPECT_EQ(Patcher(newBuild).generate().getErrorMessage(), "Could not find any files in launcher build");
    ASSERT_TRUE(newBuild.createDirectory());
    EXPECT_EQ(Patcher(newBuild).generate().getErrorMessage(), "Could not find any files in launcher build");
    EXPECT_FALSE(batFile.exists());
    EXPECT_FALSE(vbsFile.exists());

    ASSERT_TRUE(write_file(newBuild.getChildFile("first"), "1"));
    ASSERT_TRUE(Patcher(newBuild).generate().wasOk());
    ASSERT_TRUE(newBuild.getChildFile("first").deleteFile());
    ASSERT_TRUE(write_file(newBuild.getChildFile("second"), "2"));
    Patcher patcher(newBuild);
    ASSERT_TRUE(patcher.generate().wasOk());

    EXPECT_EQ(file_bytes(batFile), expected_batch({ { "Solvanter Launcher\\second", "second" } }));
    EXPECT_EQ(file_bytes(vbsFile), expectedVbs);
    // No temporary file of the writes is left behind.
    EXPECT_EQ(folder.findChildFiles(juce::File::findFilesAndDirectories, false, "*patcher*.*").size(), 2);

    // With a working script host beside it, only the missing script stops the start.
    ASSERT_TRUE(copy_executable(script_host_binary(), folder.getChildFile("solvanter-script-host")));
    ASSERT_TRUE(vbsFile.deleteFile());
    EXPECT_EQ(patcher.run().getErrorMessage(), "Failed to start patcher script");
    EXPECT_TRUE(log.lines().contains("[INFO]: Running patcher script"));
}

// A name the batch file cannot hold would split or end its line: nothing is written.
TEST_F(PatcherFiles, NamesTheBatchFileCannotCarryWriteNothing)
{
    for (const std::string name : { "evil\necho injected", "quote\"d", "back\\slash", "100%", "a:b" })
    {
        SCOPED_TRACE(name);
        ASSERT_TRUE(write_file(newBuild.getChildFile("solvanter-launcher"), "new"));
        const auto path = std::filesystem::path(newBuild.getFullPathName().toStdString()) / name;
        std::ofstream(path) << "x";
        ASSERT_TRUE(std::filesystem::exists(path));

        const auto shown = juce::String(name).replace("\n", "\\n");
        EXPECT_EQ(Patcher(newBuild).generate().getErrorMessage(),
                  "Launcher build entry \"" + shown + "\" cannot be written to the patcher script");
        EXPECT_FALSE(batFile.exists());
        EXPECT_FALSE(vbsFile.exists());
        std::filesystem::remove(path);
    }
}

TEST_F(PatcherFiles, ScriptsThatCannotBeWritten)
{
    ASSERT_TRUE(write_file(newBuild.getChildFile("solvanter-launcher"), "new"));
    const Moves moves { { "Solvanter Launcher\\solvanter-launcher", "solvanter-launcher" } };

    // A folder with contents where a script goes: no rename can replace it, root or not.
    ASSERT_TRUE(write_file(batFile.getChildFile("keep"), "x"));
    ASSERT_TRUE(write_file(vbsFile, "older script"));
    EXPECT_EQ(Patcher(newBuild).generate().getErrorMessage(), "Failed to write patcher batch script to file");
    EXPECT_EQ(file_bytes(vbsFile), "older script");

    ASSERT_TRUE(batFile.deleteRecursively() && vbsFile.deleteFile());
    ASSERT_TRUE(write_file(vbsFile.getChildFile("keep"), "x"));
    EXPECT_EQ(Patcher(newBuild).generate().getErrorMessage(), "Failed to write patcher script to file");
    EXPECT_EQ(file_bytes(batFile), expected_batch(moves));
}
} // namespace
