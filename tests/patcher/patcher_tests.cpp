// The self-update: Patcher::generate and Patcher::run, the launcher's update steps against the dev
// backend on real folders beside this test program (the launcher's folder), and the script host
// that carries the scripts out: the program on real folders, and the refusals of its readers.
#include "support/scene.h"

#include "engine/Patcher.h"
#include "scripthost/batch_commands.h"
#include "scripthost/batch_script.h"
#include "scripthost/vbs_script.h"
#include "services/build_info.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

namespace
{
// The batch file the patcher writes, restarting `restart` (by default this test program).
std::string expected_batch(const std::string& moves,
                           const juce::File& restart = juce::File::getSpecialLocation(juce::File::hostApplicationPath))
{
    return ">patcher.txt 2>&1 (\r\ntimeout /t 1\r\necho starting Launcher self-update...\r\n" + moves
           + "rd \"Solvanter Launcher\" /s /q\r\nrd \"Solvanter.app\" /s /q\r\necho restart updated launcher\r\n)\r\n\""
           + restart.getFullPathName().toStdString() + "\"";
}

const std::string shell = "Set oShell = CreateObject(\"Wscript.Shell\")\r\n";
const std::string expectedVbs = shell + "Dim strArgs\r\nstrArgs = \"cmd /c patcher.bat\"\r\noShell.Run strArgs, 0, false";

struct PatcherFiles : EngineTest
{
    const juce::File newBuild = launcher_child_file("Solvanter Launcher");
    const juce::File batFile = launcher_child_file("patcher.bat");
    const juce::File vbsFile = launcher_child_file("patcher.vbs");
};
} // namespace

TEST_F(PatcherFiles, OneMovePerTopLevelEntryInListingOrder)
{
    for (auto name : { "solvanter-launcher", ".hidden", "sub folder/inner.txt", "Readme.txt", "README.TXT", "100%",
                       "n\xC3\xBCw-\xC3\xA9.txt", "\xD0\x96\xD1\x83\xD0\xBA" })
        ASSERT_TRUE(write_file(newBuild.getChildFile(juce::CharPointer_UTF8(name)), name));

    ASSERT_TRUE(Patcher(newBuild).generate().wasOk());

    // Each entry's line, in the order the OS lists them. Names equal but for case are one line at
    // the first one's place, moved from the later one's path. A percent sign is doubled, as a
    // batch file must write it. Names outside ASCII are written in the bytes the script host reads,
    // UTF-8.
    const std::map<juce::String, std::string> lineWhenFirst {
        { "solvanter-launcher", "move /y \"Solvanter Launcher\\solvanter-launcher\" \"solvanter-launcher\"\r\n" },
        { ".hidden", "move /y \"Solvanter Launcher\\.hidden\" \".hidden\"\r\n" },
        { "sub folder", "move /y \"Solvanter Launcher\\sub folder\" \"sub folder\"\r\n" },
        { "Readme.txt", "move /y \"Solvanter Launcher\\README.TXT\" \"Readme.txt\"\r\n" },
        { "README.TXT", "move /y \"Solvanter Launcher\\Readme.txt\" \"README.TXT\"\r\n" },
        { "100%", "move /y \"Solvanter Launcher\\100%%\" \"100%%\"\r\n" },
        { juce::CharPointer_UTF8("n\xC3\xBCw-\xC3\xA9.txt"),
          "move /y \"Solvanter Launcher\\n\xC3\xBCw-\xC3\xA9.txt\" \"n\xC3\xBCw-\xC3\xA9.txt\"\r\n" },
        { juce::CharPointer_UTF8("\xD0\x96\xD1\x83\xD0\xBA"),
          "move /y \"Solvanter Launcher\\\xD0\x96\xD1\x83\xD0\xBA\" \"\xD0\x96\xD1\x83\xD0\xBA\"\r\n" },
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
TEST_F(PatcherFiles, NamesTheBatchFileCannotCarryAndScriptsThatCannotBeWritten)
{
    ASSERT_TRUE(write_file(newBuild.getChildFile("solvanter-launcher"), "new"));
    for (const std::string name : { "evil\necho injected", "quote\"d", "back\\slash", "a:b" })
    {
        SCOPED_TRACE(name);
        const auto path = std::filesystem::path(newBuild.getFullPathName().toStdString()) / name;
        std::ofstream(path) << "x";
        ASSERT_TRUE(std::filesystem::exists(path));
        EXPECT_EQ(Patcher(newBuild).generate().getErrorMessage(),
                  "Launcher build entry \"" + juce::String(name).replace("\n", "\\x0A")
                      + "\" cannot be written to the patcher script");
        EXPECT_FALSE(batFile.exists() || vbsFile.exists());
        std::filesystem::remove(path);
    }

    // A folder with contents where a script goes: no rename can replace it, root or not.
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

    // So are names the framework's decoder would read otherwise: C0 AE is an overlong '.'.
    backend.script("/builds/launcher.zip",
                   devbackend::Reply::file(with_bytes(zip_of({ { "Solvanter Launcher/@@@@/@@@@/escaped.txt", "escaped" } }),
                                                      "@@@@", "\xC0\xAE\xC0\xAE")));
    log.clear();
    EXPECT_FALSE(probe.update_launcher());
    EXPECT_TRUE(log.logged({ "[ERROR]: Entry \"Solvanter Launcher/\\xC0\\xAE\\xC0\\xAE/\\xC0\\xAE\\xC0\\xAE/escaped.txt\" has a "
                             "name that is not valid UTF-8" }))
        << log.lines().joinIntoString("\n");
    EXPECT_FALSE(launcher_child_file("escaped.txt").exists() || newBuild.exists() || launcher_child_file("patcher.bat").exists());

    // A build folder with nothing in it is put in place; the patcher then finds no files.
    backend.script("/builds/launcher.zip", devbackend::Reply::file(zip_of({ { "Solvanter Launcher/", "" } })));
    log.clear();
    EXPECT_FALSE(probe.update_launcher());
    EXPECT_TRUE(log.logged({ "[INFO]: Unzipping 1 files finished in *", "[INFO]: Generating patcher script",
                             "[ERROR]: Could not find any files in launcher build", "!*Launcher build not found" }))
        << log.lines().joinIntoString("\n");
    EXPECT_TRUE(newBuild.isDirectory());
    EXPECT_FALSE(launcher_child_file("patcher.bat").exists());

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

namespace
{
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
             { "patcher.vbs", expectedVbs }, { "patcher.txt", std::string(400, '#') },
             { "launcher", "old launcher" }, { "plugins/old.so", "old plugin" }, { "data/inside", "a folder, not a file" },
             { "Solvanter Launcher/launcher", "new launcher" }, { "Solvanter Launcher/plugins/new.so", "new plugin" },
             { "Solvanter Launcher/data", "new data" } })
        ASSERT_TRUE(write_file(work / path, text));

    // Started after the host has gone: records its folder and argument count a second later.
    const auto restart = work / "restart me.sh";
    ASSERT_TRUE(write_file(restart, "#!/bin/sh\nsleep 1\npwd > restarted.txt\necho $# >> restarted.txt\n"));
    ASSERT_TRUE(restart.setExecutePermission(true));

    ASSERT_TRUE(write_file(work / "patcher.bat", expected_batch("move /y \"Solvanter Launcher\\launcher\" \"launcher\"\r\n"
                                                                "move /y \"Solvanter Launcher\\plugins\" \"plugins\"\r\n"
                                                                "move /y \"Solvanter Launcher\\data\" \"data\"\r\n",
                                                                restart)));

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
        // One line it does not know refuses the whole script, also the lines before it.
        { expectedVbs, ">patcher.txt 2>&1 (\r\nrd \"keep\" /s /q\r\ncopy \"a\" \"b\"\r\n)", true },
        // A block whose output cannot be opened does not run.
        { expectedVbs, ">\"keep\\me\\patcher.txt\" 2>&1 (\r\nrd \"keep\" /s /q\r\n)", false },
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

// A launcher in a folder whose name holds percent signs: the restart line and the move lines write
// them doubled, and the script host reads back the very paths the launcher has.
TEST(PatcherScript, PercentSignsInPathsSurviveTheBatchFile)
{
    ScratchFolder scratch;
    const auto install = scratch / "install %PATH% 100%";
    const auto launcher = install.getChildFile("launcher 5%");
    ASSERT_TRUE(write_file(install.getChildFile("Solvanter Launcher/new %1%.txt"), "new"));
    ASSERT_TRUE(copy_executable(juce::File::getSpecialLocation(juce::File::currentExecutableFile), launcher));

    juce::ChildProcess writer;
    ASSERT_TRUE(writer.start({ launcher.getFullPathName(), "--write-patcher",
                               install.getChildFile("Solvanter Launcher").getFullPathName() }));
    ASSERT_TRUE(writer.waitForProcessToFinish(60000));
    ASSERT_EQ(writer.getExitCode(), 0u) << writer.readAllProcessOutput();

    const auto batch = file_bytes(install.getChildFile("patcher.bat"));
    const auto escaped = launcher.getFullPathName().replace("%", "%%").quoted().toStdString();
    EXPECT_EQ(batch.substr(batch.rfind("\r\n") + 2), escaped);

    const auto reading = scripthost::read_batch(batch);
    ASSERT_TRUE(reading.ok) << reading.error;
    std::vector<std::vector<std::string>> paths;
    for (const auto& statement : reading.statements)
        if (statement.kind == scripthost::Statement::Kind::move || statement.kind == scripthost::Statement::Kind::start_program)
            paths.push_back(statement.paths);
    const std::vector<std::vector<std::string>> expected { { "Solvanter Launcher/new %1%.txt", "new %1%.txt" },
                                                           { launcher.getFullPathName().toStdString() } };
    EXPECT_EQ(paths, expected);
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
        shell + "oShell.Run \"cmd /c /tmp/patcher.bat\", 0, false", expectedVbs + "\r\nMsgBox \"done\"", "",
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
                              ">\"..\\out.txt\" 2>&1 (", "rd \"100%\" /s /q" })
        EXPECT_EQ(scripthost::read_statement(line).kind, scripthost::Statement::Kind::unknown) << line;

    // A broken block structure: nothing runs.
    for (const auto* text : { ">a.txt 2>&1 (\r\n>b.txt 2>&1 (\r\n)\r\n)", ">a.txt 2>&1 (\r\necho x", "echo x\r\n)" })
        EXPECT_FALSE(scripthost::read_batch(text).ok) << text;
}
} // namespace
