// The script host: its readers, its commands on real folders, and the program itself.
#include "patcher_test_support.h"

#include "scripthost/batch_commands.h"
#include "scripthost/batch_runner.h"
#include "scripthost/batch_script.h"
#include "scripthost/text.h"
#include "scripthost/vbs_script.h"

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

using scripthost::Statement;
using Kind = scripthost::Statement::Kind;

namespace
{
const std::string patcherVbs = "Set oShell = CreateObject(\"Wscript.Shell\")\r\nDim strArgs\r\n"
                               "strArgs = \"cmd /c patcher.bat\"\r\noShell.Run strArgs, 0, false";

std::vector<Kind> kinds(const std::vector<Statement>& statements)
{
    std::vector<Kind> result;
    for (const auto& s : statements)
        result.push_back(s.kind);
    return result;
}

std::string path_of(const juce::File& file) { return file.getFullPathName().toStdString(); }

//==============================================================================
TEST(ScriptHostVbs, AcceptsThePatchersScriptAndItsSpellings)
{
    auto reading = scripthost::read_patcher_vbs(patcherVbs);
    ASSERT_TRUE(reading.ok) << reading.error;
    EXPECT_EQ(reading.batchFile, "patcher.bat");

    // VBScript ignores case; line feeds alone and a final line end are fine too.
    reading = scripthost::read_patcher_vbs("set shell = createobject( \"WSCRIPT.SHELL\" )\n\n"
                                           "ARGS = \"CMD /C patcher.bat\"\nShell.run Args , 0 , False\n");
    ASSERT_TRUE(reading.ok) << reading.error;
    EXPECT_EQ(reading.batchFile, "patcher.bat");
}

TEST(ScriptHostVbs, RefusesAnythingElse)
{
    const std::string shell = "Set oShell = CreateObject(\"Wscript.Shell\")\r\n";
    const std::string refused[] = {
        // shown, or waited for
        shell + "strArgs = \"cmd /c patcher.bat\"\r\noShell.Run strArgs, 1, false",
        shell + "strArgs = \"cmd /c patcher.bat\"\r\noShell.Run strArgs, 0, true",
        // another command, or more than the batch file
        shell + "strArgs = \"cmd /c del patcher.bat\"\r\noShell.Run strArgs, 0, false",
        shell + "strArgs = \"powershell patcher.bat\"\r\noShell.Run strArgs, 0, false",
        shell + "strArgs = \"cmd /c patcher.exe\"\r\noShell.Run strArgs, 0, false",
        shell + "oShell.Run \"cmd /c \"\"\", 0, false",
        // another object, no object, an unassigned argument
        "Set oShell = CreateObject(\"Scripting.FileSystemObject\")\r\noShell.Run \"cmd /c patcher.bat\", 0, false",
        "oShell.Run \"cmd /c patcher.bat\", 0, false",
        shell + "oShell.Run strArgs, 0, false",
        // any further statement, a second run, or none
        patcherVbs + "\r\nMsgBox \"done\"",
        shell + "MsgBox \"hi\"\r\noShell.Run \"cmd /c patcher.bat\", 0, false",
        shell + "oShell.Run \"cmd /c patcher.bat\", 0, false\r\noShell.Run \"cmd /c patcher.bat\", 0, false",
        shell + "Dim strArgs",
        "",
    };

    for (const auto& text : refused)
    {
        const auto reading = scripthost::read_patcher_vbs(text);
        EXPECT_FALSE(reading.ok) << text;
        EXPECT_FALSE(reading.error.empty()) << text;
    }
}

//==============================================================================
TEST(ScriptHostBatch, ReadsThePatchersBatchFile)
{
    const std::string text = ">patcher.txt 2>&1 (\r\ntimeout /t 1\r\necho starting Launcher self-update...\r\n"
                             "move /y \"Solvanter Launcher\\my file\" \"my file\"\r\n"
                             "rd \"Solvanter Launcher\" /s /q\r\nrd \"Solvanter.app\" /s /q\r\n"
                             "echo restart updated launcher\r\n)\r\n\"/opt/solvanter/solvanter-launcher\"";

    const auto reading = scripthost::read_batch(text);
    ASSERT_TRUE(reading.ok) << reading.error;
    EXPECT_EQ(kinds(reading.statements),
              (std::vector<Kind> { Kind::open_block, Kind::timeout, Kind::echo, Kind::move, Kind::remove_folder,
                                   Kind::remove_folder, Kind::echo, Kind::close_block, Kind::start_program }));

    const auto& s = reading.statements;
    EXPECT_EQ(s[0].paths, std::vector<std::string> { "patcher.txt" });
    EXPECT_EQ(s[1].seconds, 1);
    EXPECT_EQ(s[2].text, "starting Launcher self-update...");
    EXPECT_EQ(s[3].paths, (std::vector<std::string> { "Solvanter Launcher/my file", "my file" }));
    EXPECT_EQ(s[4].paths, std::vector<std::string> { "Solvanter Launcher" });
    EXPECT_EQ(s[8].paths, std::vector<std::string> { "/opt/solvanter/solvanter-launcher" });
}

TEST(ScriptHostBatch, LinesItDoesNotUnderstandAreUnknown)
{
    const char* const unknown[] = {
        "copy \"a\" \"b\"",
        "move \"a\" \"b\"",                 // would ask before overwriting
        "move /y \"a\"",
        "move /y \"a\" \"b\" \"c\"",
        "move /y \"a\"\"b\" \"c\"",
        "rd \"a\" /s",                      // would ask
        "rd \"a\" \"b\" /s /q",
        "timeout /t soon",
        "timeout 1",
        "echo a > b",                       // a redirection, not text
        "echo a & del b",
        "\"unterminated",
        "solvanter-launcher",               // a program is only taken quoted
        "\"a\" --headless",
        "start \"\" \"a\"",
        "(",
    };
    for (const auto* line : unknown)
        EXPECT_EQ(scripthost::read_statement(line).kind, Kind::unknown) << line;

    EXPECT_EQ(scripthost::read_statement("  RD /Q \"x\" /S ").kind, Kind::remove_folder);
    EXPECT_EQ(scripthost::read_statement("MOVE /Y a b").kind, Kind::move);
}

TEST(ScriptHostBatch, RefusesABrokenBlockStructure)
{
    EXPECT_FALSE(scripthost::read_batch(">a.txt 2>&1 (\r\n>b.txt 2>&1 (\r\n)\r\n)").ok);
    EXPECT_FALSE(scripthost::read_batch(">a.txt 2>&1 (\r\necho x").ok);
    EXPECT_FALSE(scripthost::read_batch("echo x\r\n)").ok);

    // Blank lines, LF line ends and a final line end change nothing.
    const auto reading = scripthost::read_batch("\n>a.txt 2>&1 (\n\necho x\n)\n");
    ASSERT_TRUE(reading.ok);
    EXPECT_EQ(kinds(reading.statements), (std::vector<Kind> { Kind::open_block, Kind::echo, Kind::close_block }));
}

//==============================================================================
TEST(ScriptHostCommands, MoveReplacesFilesAndFolders)
{
    ScratchFolder dir;
    ASSERT_TRUE(write_file(dir / "new/app", "new app"));
    ASSERT_TRUE(write_file(dir / "app", "old app"));
    ASSERT_TRUE(write_file(dir / "new/lib/a.so", "new a"));
    ASSERT_TRUE(write_file(dir / "lib/old.so", "old"));
    ASSERT_TRUE(write_file(dir / "new/data", "a file where a folder was"));
    ASSERT_TRUE(write_file(dir / "data/inside", "x"));

    EXPECT_EQ(scripthost::move_entry(path_of(dir / "new/app"), path_of(dir / "app")), "        1 file(s) moved.\r\n");
    EXPECT_EQ(file_bytes(dir / "app"), "new app");
    EXPECT_FALSE((dir / "new/app").exists());

    EXPECT_EQ(scripthost::move_entry(path_of(dir / "new/lib"), path_of(dir / "lib")), "        1 dir(s) moved.\r\n");
    EXPECT_EQ(file_bytes(dir / "lib/a.so"), "new a");
    EXPECT_FALSE((dir / "lib/old.so").exists());

    EXPECT_EQ(scripthost::move_entry(path_of(dir / "new/data"), path_of(dir / "data")), "        1 file(s) moved.\r\n");
    EXPECT_EQ(file_bytes(dir / "data"), "a file where a folder was");

    // Nothing parked for the replacement stays behind.
    EXPECT_EQ(dir.get().getNumberOfChildFiles(juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles),
              dir.get().getNumberOfChildFiles(juce::File::findFilesAndDirectories));

    EXPECT_EQ(scripthost::move_entry(path_of(dir / "new/missing"), path_of(dir / "missing")),
              "The system cannot find the file specified.\r\n");
}

TEST(ScriptHostCommands, FailedMoveKeepsTheOldFolder)
{
    ScratchFolder dir;
    ASSERT_TRUE(write_file(dir / "lib/old.so", "old"));
    ASSERT_TRUE(write_file(dir / "new/lib/a.so", "new"));

    // A folder cannot become part of itself: the rename fails after the old one was parked.
    const auto message = scripthost::move_entry(path_of(dir / "new"), path_of(dir / "new/lib"));
    EXPECT_NE(message.find("\r\n"), std::string::npos);
    EXPECT_EQ(message.find("moved"), std::string::npos);
    EXPECT_EQ(file_bytes(dir / "new/lib/a.so"), "new");
}

TEST(ScriptHostCommands, RemoveFolder)
{
    ScratchFolder dir;
    ASSERT_TRUE(write_file(dir / "build/a/b/c.txt", "x"));
    ASSERT_TRUE(write_file(dir / "plain.txt", "x"));

    EXPECT_EQ(scripthost::remove_folder(path_of(dir / "build")), "");
    EXPECT_FALSE((dir / "build").exists());

    EXPECT_EQ(scripthost::remove_folder(path_of(dir / "build")), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(scripthost::remove_folder(path_of(dir / "plain.txt")), "The directory name is invalid.\r\n");
    EXPECT_TRUE((dir / "plain.txt").existsAsFile());
}

TEST(ScriptHostCommands, ProgramThatCannotStartIsReported)
{
    ScratchFolder dir;
    EXPECT_EQ(scripthost::start_program(path_of(dir / "nothing here"), STDOUT_FILENO),
              "'" + path_of(dir / "nothing here") + "' is not recognized as an internal or external command,\r\n"
              "operable program or batch file.\r\n");

    ASSERT_TRUE(write_file(dir / "not executable", "#!/bin/sh\n"));
    EXPECT_EQ(scripthost::start_program(path_of(dir / "not executable"), STDOUT_FILENO), "Access is denied.\r\n");
}

TEST(ScriptHostRunner, BlockOutputReplacesItsFileAndOtherOutputGoesToTheConsole)
{
    ScratchFolder dir;
    ASSERT_TRUE(write_file(dir / "out.txt", "an earlier run's output, longer than this one's"));
    const int console = ::open(path_of(dir / "console.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ASSERT_GE(console, 0);

    const auto reading = scripthost::read_batch("echo before\r\n>\"" + path_of(dir / "out.txt") + "\" 2>&1 (\r\n"
                                                "timeout /t 7\r\necho inside\r\nfrobnicate now\r\n)\r\necho after");
    ASSERT_TRUE(reading.ok) << reading.error;

    std::vector<int> sleeps;
    {
        scripthost::BatchRunner runner(console, [&](int seconds) { sleeps.push_back(seconds); });
        runner.run(reading.statements);
    }
    ::close(console);

    EXPECT_EQ(sleeps, std::vector<int> { 7 });
    EXPECT_EQ(file_bytes(dir / "out.txt"), "Waiting for 7 seconds...\r\ninside\r\nUnknown command: frobnicate now\r\n");
    EXPECT_EQ(file_bytes(dir / "console.txt"), "before\r\nafter\r\n");
}

TEST(ScriptHostRunner, BlockWhoseOutputCannotBeOpenedDoesNotRun)
{
    ScratchFolder dir;
    ASSERT_TRUE(write_file(dir / "file", "x"));
    ASSERT_TRUE(write_file(dir / "keep/me", "x"));
    const int console = ::open(path_of(dir / "console.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ASSERT_GE(console, 0);

    // The block's file would lie inside a plain file.
    const auto reading = scripthost::read_batch(">\"" + path_of(dir / "file/out.txt") + "\" 2>&1 (\r\nrd \""
                                                + path_of(dir / "keep") + "\" /s /q\r\n)\r\necho after");
    ASSERT_TRUE(reading.ok) << reading.error;
    {
        scripthost::BatchRunner runner(console);
        runner.run(reading.statements);
    }
    ::close(console);

    EXPECT_TRUE((dir / "keep/me").existsAsFile());
    EXPECT_EQ(file_bytes(dir / "console.txt"), "The system cannot find the path specified.\r\nafter\r\n");
}

//==============================================================================
// The host program itself, run in a scratch folder as its working directory.
class ScriptHostProgram : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(script_host_binary().existsAsFile()) << "build solvanter-script-host first"; }

    // Runs the host on work/patcher.vbs; its exit code, or -1 when it did not end.
    int run_host()
    {
        WorkingDirectory cwd(work.get());
        if (! cwd.ok())
            return -1;
        juce::ChildProcess host;
        if (! host.start(juce::StringArray { script_host_binary().getFullPathName(),
                                             (work / "patcher.vbs").getFullPathName() },
                         0))
            return -1;
        if (! host.waitForProcessToFinish(30000))
        {
            host.kill();
            return -1;
        }
        return (int) host.getExitCode();
    }

    ScratchFolder work { "script-host" };
};

TEST_F(ScriptHostProgram, RunsThePatchersScriptsAndRestartsTheProgram)
{
    ASSERT_TRUE(write_file(work / "patcher.vbs", patcherVbs));
    ASSERT_TRUE(write_file(work / "patcher.txt", "the previous update's output, which is longer than this"));
    ASSERT_TRUE(write_file(work / "launcher", "old launcher"));
    ASSERT_TRUE(write_file(work / "plugins/old.so", "old plugin"));
    ASSERT_TRUE(write_file(work / "Solvanter Launcher/launcher", "new launcher"));
    ASSERT_TRUE(write_file(work / "Solvanter Launcher/plugins/new.so", "new plugin"));
    ASSERT_TRUE(write_file(work / "Solvanter Launcher/read me.txt", "new file"));

    // Started after the host has gone: it records its folder and its argument count a second later.
    const auto restart = work / "restart me.sh";
    ASSERT_TRUE(write_file(restart, "#!/bin/sh\nsleep 1\npwd > restarted.txt\necho $# >> restarted.txt\n"));
    ASSERT_TRUE(restart.setExecutePermission(true));

    ASSERT_TRUE(write_file(work / "patcher.bat",
                           ">patcher.txt 2>&1 (\r\ntimeout /t 1\r\necho starting Launcher self-update...\r\n"
                           "move /y \"Solvanter Launcher\\launcher\" \"launcher\"\r\n"
                           "move /y \"Solvanter Launcher\\plugins\" \"plugins\"\r\n"
                           "move /y \"Solvanter Launcher\\read me.txt\" \"read me.txt\"\r\n"
                           "rd \"Solvanter Launcher\" /s /q\r\nrd \"Solvanter.app\" /s /q\r\n"
                           "copy \"launcher\" \"backup\"\r\n"
                           "echo restart updated launcher\r\n)\r\n\""
                               + path_of(restart) + "\""));

    ASSERT_EQ(run_host(), 0);

    EXPECT_EQ(file_bytes(work / "launcher"), "new launcher");
    EXPECT_EQ(file_bytes(work / "plugins/new.so"), "new plugin");
    EXPECT_FALSE((work / "plugins/old.so").exists());
    EXPECT_EQ(file_bytes(work / "read me.txt"), "new file");
    EXPECT_FALSE((work / "Solvanter Launcher").exists());
    EXPECT_FALSE((work / "backup").exists());
    EXPECT_EQ(file_bytes(work / "patcher.txt"),
              "Waiting for 1 seconds...\r\n"
              "starting Launcher self-update...\r\n"
              "        1 file(s) moved.\r\n"
              "        1 dir(s) moved.\r\n"
              "        1 file(s) moved.\r\n"
              "The system cannot find the file specified.\r\n"
              "Unknown command: copy \"launcher\" \"backup\"\r\n"
              "restart updated launcher\r\n");

    // The restarted program outlives the host, runs in the working folder and gets no arguments.
    const auto restarted = [&] { return file_bytes(work / "restarted.txt"); };
    ASSERT_TRUE(eventually([&] {
        const auto text = restarted();
        return std::count(text.begin(), text.end(), '\n') == 2;
    }, 15000));
    EXPECT_EQ(file_bytes(work / "restarted.txt"), path_of(work.get()) + "\n0\n");
}

TEST_F(ScriptHostProgram, RefusedScriptTouchesNothing)
{
    ASSERT_TRUE(write_file(work / "patcher.vbs", "Set oShell = CreateObject(\"Wscript.Shell\")\r\n"
                                                 "oShell.Run \"cmd /c patcher.bat\", 1, true"));
    ASSERT_TRUE(write_file(work / "patcher.bat", ">patcher.txt 2>&1 (\r\nrd \"keep\" /s /q\r\n)"));
    ASSERT_TRUE(write_file(work / "keep/me", "x"));

    EXPECT_NE(run_host(), 0);
    EXPECT_TRUE((work / "keep/me").existsAsFile());
    EXPECT_FALSE((work / "patcher.txt").exists());

    // A batch file whose block never closes is not run either.
    ASSERT_TRUE(write_file(work / "patcher.vbs", patcherVbs));
    ASSERT_TRUE(write_file(work / "patcher.bat", ">patcher.txt 2>&1 (\r\nrd \"keep\" /s /q"));
    EXPECT_NE(run_host(), 0);
    EXPECT_TRUE((work / "keep/me").existsAsFile());
    EXPECT_FALSE((work / "patcher.txt").exists());
}
} // namespace
