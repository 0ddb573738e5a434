// The script host: the program on real folders, and the refusals of its readers.
#include "support/scene.h"

#include "scripthost/batch_commands.h"
#include "scripthost/batch_script.h"
#include "scripthost/vbs_script.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace
{
const std::string shell = "Set oShell = CreateObject(\"Wscript.Shell\")\r\n";
const std::string patcherVbs = shell + "Dim strArgs\r\nstrArgs = \"cmd /c patcher.bat\"\r\noShell.Run strArgs, 0, false";

// Runs the host on patcher.vbs in the folder, its working directory; its exit code, or -1.
int run_host(const juce::File& folder)
{
    juce::ChildProcess host;
    if (host.start(juce::StringArray { "/bin/sh", "-c", "cd \"$0\" && exec \"$1\" patcher.vbs", folder.getFullPathName(),
                                       script_host_binary().getFullPathName() }, 0)
        && host.waitForProcessToFinish(30000))
        return (int) host.getExitCode();
    host.kill();
    return -1;
}

TEST(ScriptHostProgram, RunsThePatchersScriptsAndRestartsTheProgram)
{
    ScratchFolder work;  // the earlier patcher.txt is longer than this run's
    for (const auto& [path, text] : std::map<juce::String, std::string> {
             { "patcher.vbs", patcherVbs }, { "patcher.txt", std::string(400, '#') },
             { "launcher", "old launcher" }, { "plugins/old.so", "old plugin" }, { "data/inside", "a folder, not a file" },
             { "Solvanter Launcher/launcher", "new launcher" }, { "Solvanter Launcher/plugins/new.so", "new plugin" },
             { "Solvanter Launcher/data", "new data" } })
        ASSERT_TRUE(write_file(work / path, text));

    // Started after the host has gone: records its folder and argument count a second later.
    const auto restart = work / "restart me.sh";
    ASSERT_TRUE(write_file(restart, "#!/bin/sh\nsleep 1\npwd > restarted.txt\necho $# >> restarted.txt\n"));
    ASSERT_TRUE(restart.setExecutePermission(true));

    ASSERT_TRUE(write_file(work / "patcher.bat",
                           ">patcher.txt 2>&1 (\r\ntimeout /t 1\r\necho starting Launcher self-update...\r\n"
                           "move /y \"Solvanter Launcher\\launcher\" \"launcher\"\r\n"
                           "move /y \"Solvanter Launcher\\plugins\" \"plugins\"\r\n"
                           "move /y \"Solvanter Launcher\\data\" \"data\"\r\n"
                           "rd \"Solvanter Launcher\" /s /q\r\nrd \"Solvanter.app\" /s /q\r\n"
                           "echo restart updated launcher\r\n)\r\n\""
                               + restart.getFullPathName().toStdString() + "\""));

    ASSERT_EQ(run_host(work.folder), 0);

    EXPECT_EQ(file_bytes(work / "launcher"), "new launcher");
    EXPECT_EQ(file_bytes(work / "plugins/new.so"), "new plugin");
    EXPECT_FALSE((work / "plugins/old.so").exists());
    EXPECT_EQ(file_bytes(work / "data"), "new data");
    EXPECT_FALSE((work / "Solvanter Launcher").exists());
    // Nothing parked during a replacement stays behind.
    EXPECT_EQ(work.folder.findChildFiles(juce::File::findFilesAndDirectories, false, ".*").size(), 0);
    EXPECT_EQ(file_bytes(work / "patcher.txt"),
              "Waiting for 1 seconds...\r\nstarting Launcher self-update...\r\n        1 file(s) moved.\r\n"
              "        1 dir(s) moved.\r\n        1 file(s) moved.\r\nThe system cannot find the file specified.\r\n"
              "restart updated launcher\r\n");

    // The restarted program outlives the host, runs in the working folder and gets no arguments.
    std::string restarted;
    EXPECT_TRUE(wait_until([&] {
        restarted = file_bytes(work / "restarted.txt");
        return std::count(restarted.begin(), restarted.end(), '\n') == 2;
    }, 15000));
    EXPECT_EQ(restarted, work.folder.getFullPathName().toStdString() + "\n0\n");
}

// The host works in "launcher"; a folder "keep" lies inside it and another beside it.
TEST(ScriptHostProgram, ScriptsItRefusesTouchNothing)
{
    const struct
    {
        std::string vbs, bat;
        bool refused;
    } rows[] = {
        { shell + "oShell.Run \"cmd /c patcher.bat\", 1, true", ">patcher.txt 2>&1 (\r\nrd \"keep\" /s /q\r\n)", true },
        { patcherVbs, ">patcher.txt 2>&1 (\r\nrd \"keep\" /s /q", true },
        // One line it does not know refuses the whole script, also the lines before it.
        { patcherVbs, ">patcher.txt 2>&1 (\r\nrd \"keep\" /s /q\r\ncopy \"a\" \"b\"\r\n)", true },
        { patcherVbs, ">patcher.txt 2>&1 (\r\nrd \"..\\keep\" /s /q\r\n)", true },
        // A block whose output cannot be opened does not run.
        { patcherVbs, ">\"keep\\me\\patcher.txt\" 2>&1 (\r\nrd \"keep\" /s /q\r\n)", false },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.vbs + "\n" + row.bat);
        ScratchFolder work;
        const auto launcher = work / "launcher";
        ASSERT_TRUE(write_file(launcher.getChildFile("patcher.vbs"), row.vbs)
                    && write_file(launcher.getChildFile("patcher.bat"), row.bat));
        ASSERT_TRUE(write_file(launcher.getChildFile("keep/me"), "x") && write_file(work / "keep/me", "x"));

        const auto exitCode = run_host(launcher);
        EXPECT_EQ(exitCode != 0, row.refused) << exitCode;
        EXPECT_TRUE(launcher.getChildFile("keep/me").existsAsFile());
        EXPECT_TRUE((work / "keep/me").existsAsFile());
        EXPECT_FALSE(launcher.getChildFile("patcher.txt").exists());
    }
}

// A move over a folder that fails must leave the old folder where it was.
TEST(ScriptHostCommands, FailedMoveKeepsTheOldFolder)
{
    ScratchFolder dir;
    ASSERT_TRUE(write_file(dir / "new/lib/a.so", "new"));

    // A folder cannot become part of itself: the rename fails after the old one was set aside.
    const auto target = std::filesystem::path((dir / "new/lib").getFullPathName().toStdString());
    const auto message = scripthost::move_entry(target.parent_path(), target);
    EXPECT_EQ(message.find("moved"), std::string::npos) << message;
    EXPECT_EQ(file_bytes(dir / "new/lib/a.so"), "new");
    EXPECT_EQ((dir / "new").getNumberOfChildFiles(juce::File::findFilesAndDirectories, "*"), 1);
}

TEST(ScriptHostReaders, RefuseAnyOtherScript)
{
    const std::string run = "strArgs = \"cmd /c patcher.bat\"\r\noShell.Run strArgs, ";
    const std::string refused[] = {
        shell + run + "1, false", shell + run + "0, true", // shown, waited for
        shell + "strArgs = \"cmd /c del patcher.bat\"\r\noShell.Run strArgs, 0, false",
        shell + "strArgs = \"powershell patcher.bat\"\r\noShell.Run strArgs, 0, false",
        shell + "strArgs = \"cmd /c patcher.exe\"\r\noShell.Run strArgs, 0, false",
        "Set oShell = CreateObject(\"Scripting.FileSystemObject\")\r\noShell.Run \"cmd /c patcher.bat\", 0, false",
        // A batch file outside the working folder.
        shell + "oShell.Run \"cmd /c ..\\patcher.bat\", 0, false", shell + "oShell.Run \"cmd /c C:\\patcher.bat\", 0, false",
        shell + "oShell.Run \"cmd /c /tmp/patcher.bat\", 0, false", patcherVbs + "\r\nMsgBox \"done\"", "",
    };
    for (const auto& text : refused)
        EXPECT_FALSE(scripthost::read_patcher_vbs(text).ok) << text;

    // Lines it would run differently from the interpreter, or not at all, and paths that leave the
    // working folder are unknown: a script holding one is refused.
    for (const auto* line : { "move \"a\" \"b\"", "move /y \"a\"", "move /y \"a\" \"b\" \"c\"", "rd \"a\" /s",
                              "rd \"a\" \"b\" /s /q", "timeout /t soon", "echo a > b", "echo a & del b",
                              "\"unterminated", "solvanter-launcher", "\"a\" --headless", "start \"\" \"a\"",
                              "rd \"C:\\a\" /s /q", "rd \"\\a\" /s /q", "rd \"/a\" /s /q", "rd \"a\\..\\..\" /s /q",
                              "rd \".\" /s /q", "move /y \"a\" \"..\\b\"", "move /y \"\\\\host\\share\\a\" \"b\"",
                              ">\"..\\out.txt\" 2>&1 (" })
        EXPECT_EQ(scripthost::read_statement(line).kind, scripthost::Statement::Kind::unknown) << line;

    // A broken block structure: nothing runs.
    for (const auto* text : { ">a.txt 2>&1 (\r\n>b.txt 2>&1 (\r\n)\r\n)", ">a.txt 2>&1 (\r\necho x", "echo x\r\n)" })
        EXPECT_FALSE(scripthost::read_batch(text).ok) << text;
}
} // namespace
