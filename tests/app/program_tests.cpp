#include "support/launcher_process.h"
#include "support/log_lines.h"

// The built launcher, one process per case.
namespace
{
const juce::String appFailure = "[STATE]: Something went wrong with updating the app.";
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
