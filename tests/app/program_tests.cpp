#include "support/launcher_process.h"

// The built launcher, one process per case.
namespace
{
const juce::String appFailure = "[STATE]: Something went wrong with updating the app.";
const juce::String openingBlock = "\r\n**********************************************************\r\n"
                                  "Solvanter Launcher\r\nLog started: ";

int index_of(const juce::StringArray& lines, const juce::String& prefix)
{
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].startsWith(prefix))
            return i;
    return -1;
}

int count_of(const juce::StringArray& lines, const juce::String& prefix)
{
    int count = 0;
    for (const auto& line : lines)
        count += line.startsWith(prefix) ? 1 : 0;
    return count;
}
} // namespace

TEST(LauncherProgram, HelpWinsOverVersionAndNeitherLogs)
{
    const juce::String usage = "Solvanter Launcher 2.9.24 e0accb7 13.05.2022\n"
                               "  --help                     Print usage and exit\n"
                               "  --headless                 Run without GUI\n"
                               "  --skip-app-update          Skip app update (if installed)\n"
                               "  --skip-update              Skip launcher update\n"
                               "  --version                  Print build version and exit\n"
                               "  --write-config             Write config file\n"
                               "  --write-config-and-quit    Write config file and exit\n";
    const std::pair<juce::StringArray, juce::String> cases[] = {
        { { "--help", "--version" }, usage },
        { { "--version", "--help" }, usage },
        { { "--version", "--write-config-and-quit" }, "Solvanter-launcher_Windows_2.9.24_e0accb7_2022-05-13_0702\n" },
    };

    for (const auto& [args, expected] : cases)
    {
        SCOPED_TRACE(args.joinIntoString(" "));
        LauncherProcess launcher;
        ASSERT_TRUE(launcher.run(args));
        EXPECT_EQ(launcher.exit_code, 0);
        EXPECT_EQ(launcher.std_out(), expected);
        EXPECT_FALSE(launcher.log_file().getParentDirectory().exists());
        EXPECT_FALSE(launcher.folder().getChildFile("config.xml").exists());
    }
}

// "--write-config-and-quit" wins over "--headless" and needs no display. The log of earlier runs
// is first cut to start at the first line break within its last 65,536 bytes: one of 65,536 bytes
// stays whole, one of 65,537 loses its first line.
TEST(LauncherProgram, WriteConfigAndQuitCutsTheOldLogThenSavesAndQuits)
{
    for (const int size : { 0, 65536, 65537, 200000 })
    {
        SCOPED_TRACE(size);
        LauncherProcess launcher;
        juce::MemoryOutputStream earlier;
        for (int line = 0; (int) earlier.getDataSize() < size; ++line)
            earlier << "old line " << line << " of earlier runs\n";
        const auto old = earlier.toString().substring(0, size);
        if (size > 0)
        {
            ASSERT_TRUE(launcher.log_file().getParentDirectory().createDirectory()
                        && launcher.log_file().replaceWithText(old, false, false, nullptr));
        }

        ASSERT_TRUE(launcher.run({ "--headless", "two words", "--write-config-and-quit" }));
        EXPECT_EQ(launcher.exit_code, 0);
        EXPECT_TRUE(launcher.folder().getChildFile("config.xml").existsAsFile());

        const auto kept = size > 65536 ? old.substring(old.indexOfChar(size - 65536, '\n')) : old;
        const auto text = launcher.log_file().loadFileAsString();
        EXPECT_EQ(text.substring(0, kept.length()), kept);
        EXPECT_TRUE(text.substring(kept.length()).startsWith(openingBlock)) << text.substring(kept.length(), 200);

        // The worker never starts: nothing follows the quit.
        const auto lines = launcher.log_lines();
        const auto args = index_of(lines, "[INFO]: Args: ");
        ASSERT_GT(args, index_of(lines, "[INFO]: System info"));
        EXPECT_EQ(lines.joinIntoString("\n", args),
                  "[INFO]: Args: --headless \"two words\" --write-config-and-quit\n"
                  "[INFO]: Using default config\n"
                  "[INFO]: Writing config file and quitting\n"
                  "[INFO]: Config saved to file\n"
                  "[INFO]: Quit launcher");
    }
}

// A shown window keeps its error text after a failure, until SIGINT ends the run as the close
// button would.
TEST(LauncherProgram, ShownRunLogsItsStartInOrder)
{
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));
    LauncherProcess launcher;
    launcher.use_backend(backend);
    ASSERT_TRUE(launcher.start({}, test_display()));
    ASSERT_TRUE(launcher.wait_for_log(appFailure));
    EXPECT_TRUE(wait_until([] { return map_state("Solvanter Launcher") == "IsViewable"; }));
    EXPECT_FALSE(launcher.wait_for_exit(300));

    launcher.send_signal(SIGINT);
    ASSERT_TRUE(launcher.wait_for_exit());
    EXPECT_EQ(launcher.exit_code, 0);

    EXPECT_TRUE(launcher.log_file().loadFileAsString().startsWith(openingBlock));
    const auto lines = launcher.log_lines();
    const auto systemInfo = index_of(lines, "[INFO]: System info");
    const auto config = index_of(lines, "[INFO]: Loaded config:");
    const auto workingDir = index_of(lines, "[INFO]: Working dir: ");
    const auto failure = index_of(lines, appFailure);
    EXPECT_EQ(systemInfo, 3);
    EXPECT_GT(config, systemInfo);
    EXPECT_GT(workingDir, config);
    EXPECT_GT(failure, workingDir);
    EXPECT_EQ(lines[lines.size() - 1], "[INFO]: Quit launcher");
    EXPECT_EQ(index_of(lines, "[INFO]: Args: "), -1);
    EXPECT_EQ(index_of(lines, "[INFO]: Running in headless mode"), -1);
}

// Nobody could close a headless run after a failure, so it ends by itself; so does a run that
// has no display to show its window on. "--skip-update" reaches the engine (and "--headless=1"
// counts as "--headless").
TEST(LauncherProgram, HeadlessFailureEndsWithExitCodeOne)
{
    const juce::String noDisplay = "[INFO]: No display available (DISPLAY unset or unreachable): running as with --headless";
    const struct
    {
        juce::StringArray args;
        const char* display;  // empty: unset
        int noDisplayLines;
    } rows[] = {
        { { "--headless=1", "--skip-update" }, "", 0 },
        { { "--skip-update" }, "", 1 },
        { { "--skip-update" }, ":59999", 1 },
    };
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.args.joinIntoString(" ") + " DISPLAY=" + row.display);
        LauncherProcess launcher;
        launcher.use_backend(backend);
        ASSERT_TRUE(launcher.start(row.args, row.display));
        ASSERT_TRUE(launcher.wait_for_exit());
        EXPECT_EQ(launcher.exit_code, 1);

        const auto lines = launcher.log_lines();
        EXPECT_EQ(count_of(lines, noDisplay), row.noDisplayLines);
        EXPECT_GT(index_of(lines, "[INFO]: Skipping self-update"), index_of(lines, "[INFO]: Running in headless mode"));
        EXPECT_GT(index_of(lines, appFailure), index_of(lines, "[INFO]: Skipping self-update"));
        EXPECT_EQ(count_of(lines, "[INFO]: Quit launcher"), 1);
        EXPECT_EQ(lines[lines.size() - 1], "[INFO]: Quit launcher with exit code 1");
    }
}

// The hidden window exists but is never mapped. SIGTERM cancels the download in flight (the
// backend would hold it for a minute); the shutdown stops the worker while the log is still open.
TEST(LauncherProgram, SigtermDuringAHeadlessDownloadEndsCleanly)
{
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));
    backend.script("/builds/app.zip", devbackend::Reply::file("zip").with_delay(60000));
    LauncherProcess launcher;
    launcher.use_backend(backend);
    ASSERT_TRUE(launcher.start({ "--headless", "--skip-update" }, test_display()));
    ASSERT_TRUE(backend.wait_for_request("/builds/app.zip", 20000));
    ASSERT_TRUE(launcher.wait_for_log("[STATE]: Downloading Solvanter"));
    EXPECT_EQ(map_state("Solvanter Launcher"), "IsUnMapped");

    launcher.send_signal(SIGTERM);
    ASSERT_TRUE(launcher.wait_for_exit());
    EXPECT_EQ(launcher.exit_code, 0);

    const auto lines = launcher.log_lines();
    EXPECT_TRUE(launcher.log_file().loadFileAsString().endsWith("\r\n"));
    EXPECT_EQ(count_of(lines, "[INFO]: Quit launcher"), 1);
    EXPECT_LT(index_of(lines, "[INFO]: Quit launcher"), lines.size() - 1);  // the worker's last word
    EXPECT_EQ(count_of(lines, "[STATE]: Something went wrong"), 0);
}

// A reply of many line breaks is logged in time linear in its length: SIGTERM once its error line
// is logged (its text is logged next) ends the launcher as in any other wait. Without a "message"
// the status check fails, so the launcher retries until it is stopped.
TEST(LauncherProgram, SigtermWhileAReplyOfManyLineBreaksIsLoggedEndsTheLauncher)
{
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));
    std::string breaks;
    for (int i = 0; i < 300000; ++i)
        breaks += "a\\n";
    backend.script("/", devbackend::Reply::json(R"({"response_data":")" + breaks + "\"}", 500), false);
    LauncherProcess launcher;
    launcher.use_backend(backend);
    ASSERT_TRUE(launcher.start({ "--headless", "--skip-update" }, test_display()));
    ASSERT_TRUE(launcher.wait_for_log("[ERROR]: API call failed in backend (500): "));

    launcher.send_signal(SIGTERM);
    ASSERT_TRUE(launcher.wait_for_exit());
    EXPECT_EQ(launcher.exit_code, 0);
    const auto lines = launcher.log_lines();
    EXPECT_EQ(count_of(lines, "[INFO]: Quit launcher"), 1);
    EXPECT_EQ(count_of(lines, "[STATE]: Something went wrong"), 0);
}

// Started by a relative path, the launcher still finds its own folder after it has made that
// folder the working directory: the installed application is found there, so "--skip-app-update"
// may skip its update (and only that one).
TEST(LauncherProgram, RelativeStartFindsTheInstalledApp)
{
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));
    backend.set_app_version("1.0.0");
    LauncherProcess launcher;
    launcher.use_backend(backend);
    launcher.relative_start = true;
    const auto app = launcher.folder().getChildFile("Solvanter/Solvanter.exe");
    ASSERT_TRUE(app.getParentDirectory().createDirectory());
    ASSERT_TRUE(app.replaceWithText("#!/bin/sh\necho started\nexit 2\n", false, false, "\n") && app.setExecutePermission(true));
    ASSERT_TRUE(launcher.folder().getChildFile("Solvanter/version.txt").replaceWithText("1.0.0"));

    ASSERT_TRUE(launcher.run({ "--headless", "--skip-app-update" }));
    const auto lines = launcher.log_lines();
    EXPECT_GE(index_of(lines, "[INFO]: Launcher is up to date"), 0) << lines.joinIntoString("\n");
    EXPECT_GT(index_of(lines, "[INFO]: Skipping app update"), index_of(lines, "[INFO]: Launcher is up to date"));
    EXPECT_GE(index_of(lines, "[ERROR]: Failed to launch app, exit code 2:"), 0);
    EXPECT_EQ(launcher.exit_code, 1);
}

// Memory running out on the worker ends the run as a failed step does, at whichever step it runs
// out: the reserve of the announced download, or the install's copy of the archive. The installed
// build stays, and the run ends by itself.
TEST(LauncherProgram, RunningOutOfMemoryEndsTheRunAsAFailure)
{
    constexpr juce::int64 archiveKb = 150 * 1024;
    const auto archive = zip_of({ { "Solvanter/Solvanter.exe", "#!/bin/sh\n", 0100755 },
                                  { "Solvanter/data.bin", std::string((size_t) archiveKb * 1024, 'd') },
                                  { "Solvanter/version.txt", "2.0.0" } });
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));
    backend.set_app_version("2.0.0");
    const auto installed = [](const LauncherProcess& launcher) {
        const auto app = launcher.folder().getChildFile("Solvanter/Solvanter.exe");
        return app.getParentDirectory().createDirectory() && app.replaceWithText("#!/bin/sh\n") && app.setExecutePermission(true)
               && launcher.folder().getChildFile("Solvanter/version.txt").replaceWithText("1.0.0");
    };

    // What the launcher takes before the archive comes: measured while the download is held back.
    juce::int64 baseKb = 0;
    {
        backend.script("/builds/app.zip", devbackend::Reply::file("zip").with_delay(60000));
        LauncherProcess launcher;
        launcher.use_backend(backend);
        ASSERT_TRUE(installed(launcher));
        ASSERT_TRUE(launcher.start({ "--headless", "--skip-update" }));
        ASSERT_TRUE(backend.wait_for_request("/builds/app.zip", 20000));
        baseKb = launcher.address_space_kb();
        launcher.send_signal(SIGTERM);
        ASSERT_TRUE(launcher.wait_for_exit());
    }
    ASSERT_GT(baseKb, 0);

    backend.script("/builds/app.zip", devbackend::Reply::file(archive), false);
    const struct
    {
        const char* name;
        juce::int64 capKb;
        bool downloaded;
    } rows[] = {
        { "the download's reserve", baseKb + archiveKb / 2, false },
        { "the install's copy", baseKb + archiveKb * 3 / 2, true },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        LauncherProcess launcher;
        launcher.use_backend(backend);
        ASSERT_TRUE(installed(launcher));
        launcher.addressSpaceKb = row.capKb;
        ASSERT_TRUE(launcher.start({ "--headless", "--skip-update" }));
        ASSERT_TRUE(launcher.wait_for_exit(120000)) << launcher.log_lines().joinIntoString("\n");
        EXPECT_EQ(launcher.exit_code, 1);

        const auto lines = launcher.log_lines();
        const auto error = index_of(lines, "[ERROR]: Out of memory while updating the app");
        EXPECT_GE(error, 0) << lines.joinIntoString("\n");
        EXPECT_EQ(index_of(lines, "[INFO]: Zip data size: ") >= 0, row.downloaded) << lines.joinIntoString("\n");
        EXPECT_EQ(index_of(lines, appFailure), error + 1);
        EXPECT_EQ(lines[lines.size() - 1], "[INFO]: Quit launcher with exit code 1");
        EXPECT_EQ(launcher.folder().getChildFile("Solvanter/version.txt").loadFileAsString(), "1.0.0");
        EXPECT_FALSE(launcher.folder().getChildFile("Solvanter.installing").exists());
    }
}

namespace
{
// Runs a bash script with the scratch folder and the built launcher as $1 and $2, and `more` after
// them; its exit code.
int run_script(const ScratchFolder& scratch, const juce::String& script, const juce::StringArray& more = {})
{
    juce::ChildProcess shell;
    juce::StringArray command { "/bin/bash", "-c", script, "script", scratch.folder.getFullPathName(),
                                build_file("bin/solvanter-launcher").getFullPathName() };
    command.addArray(more);
    if (! shell.start(command))
        return -1;
    shell.readAllProcessOutput();  // until its output closes
    return shell.waitForProcessToFinish(120000) ? (int) shell.getExitCode() : -1;
}

// The first bytes of a file, however large it is.
std::string head_of(const juce::File& file, size_t size)
{
    juce::FileInputStream in(file);
    juce::MemoryBlock head;
    in.readIntoMemoryBlock(head, (ssize_t) size);
    return std::string(static_cast<const char*>(head.getData()), head.getSize());
}

const juce::String runIn = R"(env -u DISPLAY -u XDG_CONFIG_HOME HOME="$1/home" )";
} // namespace

// The log cut takes whatever bytes the log holds: NUL bytes before the first line break of its last
// 65,536 bytes (what a power loss leaves) and a sparse file of 5 GB are cut like any other.
TEST(LauncherProgram, TheLogCutTakesWhateverBytesTheLogHolds)
{
    juce::MemoryOutputStream lines;
    for (int line = 0; lines.getDataSize() < 481000; ++line)
        lines << "old line " << line << " of earlier runs\n";
    const std::string text(static_cast<const char*>(lines.getData()), lines.getDataSize());
    auto withNuls = text;
    withNuls.replace(withNuls.size() - 65536 - 100, 1000, 1000, '\0');

    const struct
    {
        const char* name;
        std::string tail;      // the bytes at the log's end
        juce::int64 hole;      // a hole before them
    } rows[] = {
        { "NUL bytes", withNuls, 0 },
        { "a sparse log of 5 GB", text.substr(0, 2000), 5LL << 30 },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        LauncherProcess launcher;
        const auto log = launcher.log_file();
        ASSERT_TRUE(write_file(log, {}));
        {
            juce::FileOutputStream out(log);
            ASSERT_TRUE(out.setPosition(row.hole) && out.write(row.tail.data(), row.tail.size()));
        }
        const auto size = row.hole + (juce::int64) row.tail.size();
        ASSERT_EQ(log.getSize(), size);

        ASSERT_TRUE(launcher.run({ "--write-config-and-quit" }));
        const auto window = row.tail.substr(row.tail.size() - juce::jmin<size_t>(65536, row.tail.size()));
        const auto kept = window.substr(window.find('\n'));
        EXPECT_LT(log.getSize(), 70000);
        EXPECT_TRUE(head_of(log, kept.size() + (size_t) openingBlock.length()) == kept + openingBlock.toStdString());
    }
}

// A full disk: the cut cannot write its copy whole, so the log stays byte for byte as it was and
// the run goes on to its end. A file-size limit below the log is a full disk too: a write past it
// fails (the copy's, the copy's flush, every append) instead of ending the launcher (SIGXFSZ, 153).
TEST(LauncherProgram, AFullDiskKeepsTheLogWhole)
{
    juce::MemoryOutputStream lines;
    for (int line = 0; lines.getDataSize() < 200000; ++line)
        lines << "old line " << line << " of earlier runs\n";
    const std::string manyLines(static_cast<const char*>(lines.getData()), 200000);
    // Its cut keeps the last 5,000 bytes: a copy small enough to wait in the stream's buffer.
    const auto longFirstLine = std::string(65000, 'x') + manyLines.substr(manyLines.size() - 5000);

    const struct
    {
        const char* name;
        const std::string& old;
        const char* run;  // starts the launcher, in the scratch folder, with the log's folder in $f
        bool slack;       // the disk may still take a line or two in the log's last block
    } rows[] = {
        { "a file-size limit below the copy", manyLines, R"(cp old.log "$f/launcher.log" && ulimit -f 32 && )", false },
        { "a file-size limit below the copy's flush", longFirstLine, R"(cp old.log "$f/launcher.log" && ulimit -f 4 && )", false },
        // The log's folder becomes a small tmpfs, filled up, in a mount namespace of the run's own.
        // Last: it is skipped where it cannot run.
        { "a full tmpfs", manyLines,
          R"(unshare -m bash -c 'mount -t tmpfs -o size=256k tmpfs "$0" || exit 77
                cp old.log "$0/launcher.log" && { cat /dev/zero > "$0/filler"; true; } 2> /dev/null
                "$@"; status=$?; cp "$0/launcher.log" after.log; exit $status' "$f" )", true },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        ScratchFolder scratch;
        ASSERT_TRUE(write_file(scratch / "old.log", row.old));
        const auto status = run_script(scratch, R"(f="$1/home/.config/Solvanter"; mkdir -p "$f"; cd "$1" && )"
                                                    + juce::String(row.run) + runIn
                                                    + R"("$2" --write-config-and-quit > /dev/null 2>&1)");
        if (status == 77)
            GTEST_SKIP() << "mounting a tmpfs in a mount namespace (unshare -m) needs root";
        EXPECT_EQ(status, 0);
        const auto after = (scratch / "after.log").exists() ? scratch / "after.log" : scratch / "home/.config/Solvanter/launcher.log";
        const auto kept = row.slack ? head_of(after, row.old.size()) : file_bytes(after);
        EXPECT_TRUE(kept == row.old) << after.getFileName() << ": " << after.getSize() << " bytes";
    }
}

// Under a file-size limit below the log and below a file of the build it installs, the worker's
// writes fail as on a full disk: the unzip fails its step, and the headless run ends as after any
// failure, with 1, its log as it was.
TEST(LauncherProgram, AFileSizeLimitFailsTheInstallNotTheLauncher)
{
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));
    backend.script("/builds/app.zip", devbackend::Reply::file(zip_of({ { "Solvanter/Solvanter.exe", "#!/bin/sh\n", 0100755 },
                                                                        { "Solvanter/data.bin", std::string(200000, 'd') },
                                                                        { "Solvanter/version.txt", "1.0.0" } })));
    ScratchFolder scratch;
    juce::MemoryOutputStream lines;
    for (int line = 0; lines.getDataSize() < 200000; ++line)
        lines << "old line " << line << " of earlier runs\n";
    const std::string old(static_cast<const char*>(lines.getData()), lines.getDataSize());
    const auto log = scratch / "home/.config/Solvanter/launcher.log";
    ASSERT_TRUE(write_file(log, old));
    ASSERT_TRUE((scratch / "l").createDirectory()
                && copy_executable(build_file("bin/solvanter-launcher"), scratch / "l/solvanter-launcher"));
    ASSERT_TRUE((scratch / "l/config.xml").replaceWithText("<PROPERTIES><VALUE name=\"app_api\" val=\"" + juce::String(backend.origin())
                                                           + "\"/></PROPERTIES>"));

    // Only the launcher runs under the limit: its output goes through a pipe to a file.
    const auto status = run_script(scratch, R"(cd "$1/l" && (ulimit -f 48 && exec )" + runIn
                                                + R"(./solvanter-launcher --headless --skip-update) 2>&1 | cat > "$1/output.txt"
                                                     exit ${PIPESTATUS[0]})");
    EXPECT_EQ(status, 1);
    const auto output = (scratch / "output.txt").loadFileAsString();
    EXPECT_TRUE(output.contains("[ERROR]: Failed to unzip entry 1: \"Solvanter/data.bin\"")) << output;
    EXPECT_TRUE(output.trimEnd().endsWith("[INFO]: Quit launcher with exit code 1")) << output;
    EXPECT_TRUE(file_bytes(log) == old) << log.getSize() << " bytes";
    EXPECT_FALSE((scratch / "l/Solvanter").exists());
    EXPECT_FALSE((scratch / "l/Solvanter.installing").exists());
}

// Launchers started together append every line of theirs, each whole, whether they make the log's
// folder at once, find it made, or find a log over 65,536 bytes that each would cut.
TEST(LauncherProgram, LaunchersStartedTogetherLoseNoLogLine)
{
    ScratchFolder scratch;
    const auto log = scratch / "home/.config/Solvanter/launcher.log";
    const auto stamped = [&] {
        const auto lines = juce::StringArray::fromLines(log.loadFileAsString());
        return std::count_if(lines.begin(), lines.end(), [](const juce::String& l) { return l.matchesWildcard("??:??:?? *", false); });
    };
    ASSERT_EQ(run_script(scratch, "cd \"$1\" && " + runIn + R"("$2" --write-config-and-quit > /dev/null)"), 0);
    const auto one = stamped();
    ASSERT_GT(one, 5);

    juce::MemoryOutputStream old;
    for (int line = 0; old.getDataSize() < 200000; ++line)
        old << "old line " << line << " of earlier runs\n";
    for (const juce::String earlier : { "no folder", "a folder", "a log of 200,000 bytes" })
    {
        SCOPED_TRACE(earlier);
        ASSERT_TRUE((scratch / "home").deleteRecursively());
        if (earlier != "no folder")
            ASSERT_TRUE(write_file(log, earlier == "a folder" ? "" : old.toString().toStdString()));
        ASSERT_EQ(run_script(scratch, R"(cd "$1" && for i in 1 2 3 4 5 6 7 8; do )" + runIn
                                          + R"("$2" --write-config-and-quit > /dev/null & done; wait)"),
                  0);
        EXPECT_EQ(stamped(), 8 * one);
        const auto all = juce::StringArray::fromLines(log.loadFileAsString());
        for (const auto* line : { "Log started: ", "System info", "Writing config file and quitting", "Quit launcher" })
            EXPECT_EQ(std::count_if(all.begin(), all.end(), [&](const juce::String& l) { return l.contains(line); }), 8) << line;
    }
}

// A folder name that is not UTF-8 text (an overlong NUL) is refused before any path is made of it.
TEST(LauncherProgram, APathThatIsNotTextIsRefused)
{
    ScratchFolder scratch;
    const auto status = run_script(scratch, R"(
        folder="$1/bad"$'\xc0\x80'"name"; mkdir "$folder" && cp "$2" "$folder/solvanter-launcher" && cd "$folder" &&
        )" + runIn + R"(./solvanter-launcher --write-config-and-quit > "$1/stdout.txt" 2> "$1/stderr.txt")");
    EXPECT_EQ(status, 1);
    const auto error = "[ERROR]: Cannot run from a path that is not UTF-8 text: " + scratch.folder.getFullPathName()
                       + "/bad\\xC0\\x80name/solvanter-launcher (move the launcher to a folder whose name is text)";
    EXPECT_TRUE((scratch / "stderr.txt").loadFileAsString().contains(error)) << (scratch / "stderr.txt").loadFileAsString();
    EXPECT_TRUE((scratch / "home/.config/Solvanter/launcher.log").loadFileAsString().contains(error));
    EXPECT_EQ((scratch / "stdout.txt").loadFileAsString().fromLastOccurrenceOf("[INFO]: ", false, false).trimEnd(),
              "Quit launcher with exit code 1");
}

// The environment texts the framework makes paths of (HOME for the log's folder and every "~",
// XDG_DATA_HOME and JUCE_FONT_PATH for the font scan) are judged as the own path is: one that is
// not UTF-8 text ends the start with exit 1 and one line on standard error, before the framework
// reads it, and no launcher.log is written anywhere.
TEST(LauncherProgram, AnEnvironmentThatIsNotTextIsRefused)
{
    const struct
    {
        const char* variable;
        const char* bytes;  // as printf writes them
        const char* shown;
    } rows[] = {
        { "HOME", "\\xc0\\x80", "\\xC0\\x80" },
        { "HOME", "\\x80", "\\x80" },
        { "HOME", "\\xe0\\x80\\x80", "\\xE0\\x80\\x80" },
        { "HOME", "jos\\xe9", "jos\\xE9" },  // Latin-1
        { "XDG_DATA_HOME", "\\xc0\\x80", "\\xC0\\x80" },
        { "JUCE_FONT_PATH", "\\x80", "\\x80" },
    };
    // Long enough behind the bytes that an overrun of the framework's strings shows.
    const juce::String tail = juce::String::repeatedString("n", 100);
    for (const auto& row : rows)
    {
        SCOPED_TRACE(juce::String(row.variable) + " " + row.shown);
        ScratchFolder scratch;
        const auto status = run_script(scratch, R"(
            value="$1/run/h$(printf "$4")$5"; mkdir -p "$1/run/home" && cd "$1/run" &&
            env -u DISPLAY -u XDG_CONFIG_HOME HOME="$1/run/home" "$3=$value" "$2" --write-config-and-quit \
                > "$1/stdout.txt" 2> "$1/stderr.txt"
            status=$?; find "$1/run" -name launcher.log > "$1/logs.txt"; exit $status)",
                                       { row.variable, row.bytes, tail });
        EXPECT_EQ(status, 1);
        const auto error = "[ERROR]: Cannot run with an environment variable that is not UTF-8 text: " + juce::String(row.variable)
                           + "=" + scratch.folder.getFullPathName() + "/run/h" + row.shown + tail
                           + " (no launcher.log is written; set it to a path that is text)\n";
        const auto err = (scratch / "stderr.txt").loadFileAsString();
        EXPECT_TRUE(err.length() == error.length() + 9 && err.endsWith(error)) << err;
        EXPECT_EQ((scratch / "stdout.txt").getSize(), 0);
        EXPECT_EQ((scratch / "logs.txt").loadFileAsString(), "");
    }
}

namespace
{
// What a folder holds, each path below it on a line of its own and sorted, with every byte that
// is not ASCII written as cat -v writes it. The scratch folder takes the listing.
juce::String listing_of(const ScratchFolder& scratch, const juce::File& folder)
{
    run_script(scratch, R"(cd "$3" && find . -mindepth 1 | LC_ALL=C sort | cat -v > "$1/listing.txt")",
               { folder.getFullPathName() });
    return (scratch / "listing.txt").loadFileAsString();
}
} // namespace

// Names that are not text in the launcher's folder, made by something else: in a set-aside folder
// (also in a subfolder's name), which the start-up clean-up removes with all it can of what it
// holds, and beside the launcher, which is not the launcher's to remove. Never a crash: the run
// goes on to its usual end (the backend offers no build to install).
TEST(LauncherProgram, NamesThatAreNotTextInItsFolderAreCleanedUp)
{
    const struct
    {
        bool held;  // a file in the set-aside folder cannot be removed
        const char* setAsideAfter;
    } rows[] = {
        { false, "" },
        // Last: it is skipped where it cannot run.
        { true, "./Solvanter.old.3\n./Solvanter.old.3/hM-@M-^@\n" },
    };
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));
    const juce::String tail = juce::String::repeatedString("n", 100);
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.held ? "a file held" : "all removable");
        LauncherProcess launcher;
        launcher.use_backend(backend);
        ScratchFolder scratch;
        const auto made = run_script(scratch, R"(
            cd "$3" && mkdir -p Solvanter "Solvanter.old.3/s"$'\x80'"$4" && echo 1 > "Solvanter.old.3/s"$'\x80'"$4/f" &&
            echo 2 > "Solvanter.old.3/b"$'\xc0\x80'"$4" && echo 3 > "x"$'\xe0\x80\x80'"$4" && echo 4 > Solvanter.old.3/ok &&
            if [ "$5" = 1 ]; then echo 5 > Solvanter.old.3/h$'\xc0\x80' && chattr +i Solvanter.old.3/h$'\xc0\x80' 2> /dev/null || exit 77; fi)",
                                     { launcher.folder().getFullPathName(), tail, row.held ? "1" : "0" });
        if (made == 77)
            GTEST_SKIP() << "the immutable attribute needs root and a file system that keeps it";
        ASSERT_EQ(made, 0);

        const auto ended = launcher.start({ "--headless", "--skip-update" }) && launcher.wait_for_exit();
        if (row.held)
            run_script(scratch, R"(chattr -i "$3/Solvanter.old.3/h"$'\xc0\x80')", { launcher.folder().getFullPathName() });
        ASSERT_TRUE(ended);
        EXPECT_EQ(launcher.exit_code, 1) << launcher.std_err().substring(0, 2000);

        const auto listing = juce::StringArray::fromLines(listing_of(scratch, launcher.folder()));
        juce::String setAside;
        for (const auto& line : listing)
            setAside << (line.startsWith("./Solvanter.old") ? line + "\n" : juce::String());
        EXPECT_EQ(setAside, row.setAsideAfter);
        EXPECT_TRUE(listing.contains("./xM-`M-^@M-^@" + tail)) << listing.joinIntoString("\n");
        EXPECT_TRUE(listing.contains("./Solvanter"));
        EXPECT_EQ(count_of(launcher.log_lines(), "[INFO]: Could not remove what earlier installs left, tried again at the next start: \""
                                                     + launcher.folder().getFullPathName() + "/Solvanter.old.3\""),
                  row.held ? 1 : 0);
    }
}
