// Real self-updates: the built launcher, started headless from a scratch install folder, updates
// itself from the dev backend and quits; the script host restarts the new copy, which installs and
// launches the stand-in application. Needs an X display and the port of the backend address
// compiled into the launcher of the test build.
#include "support/launcher_process.h"

namespace
{
// A backend that offers the launcher an update holding the same two programs and a marker only
// the update brings.
class SelfUpdateRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test_display().isNotEmpty()) << "run under Xvfb";
        for (const auto& needed : { launcher, script_host_binary(), standin_binary() })
            ASSERT_TRUE(needed.existsAsFile()) << needed.getFullPathName();

        ASSERT_TRUE(start_backend_for_launcher(backend)) << "port stayed taken";
        std::vector<ZipEntry> update { { "Solvanter Launcher/" + markerName, "updated" },
                                       { "Solvanter Launcher/" + wideMarkerName, "updated" } };
        for (const auto& program : { launcher, script_host_binary() })
            update.push_back({ "Solvanter Launcher/" + program.getFileName(), file_bytes(program), 0100755 });
        backend.script("/builds/launcher.zip", devbackend::Reply::file(zip_of(update)), false);
        backend.script("/builds/app.zip", devbackend::Reply::file(app_zip("1.0.0", { "lifetime_ms=4000" })), false);
    }

    // Runs the launcher, with the script host beside it, headless to its end.
    void run_first(LauncherProcess& first)
    {
        install = first.folder();
        ASSERT_TRUE(copy_executable(script_host_binary(), install.getChildFile("solvanter-script-host")));
        first.use_backend(backend);
        backend.set_launcher_update("2.9.25", "launcher.zip", 1);
        ASSERT_TRUE(first.start({ "--headless" }, test_display()) && first.wait_for_exit(90000)) << first.std_out();
        firstExitCode = first.exit_code;
        firstLog = (first.std_out() + first.std_err()).toStdString();
    }

    void round_trip(const juce::String& folder);

    bool logged(const std::string& text) const { return firstLog.find(text) != std::string::npos; }

    // The interpreter would read these percent signs as variables, were they not escaped.
    const juce::String markerName = "marker %PATH% 100%.txt";
    // Written into the batch file as the script host reads it.
    const juce::String wideMarkerName = juce::CharPointer_UTF8("n\xC3\xBCw-\xC3\xA9 \xD0\x96\xD1\x83\xD0\xBA.txt");
    const juce::File launcher = build_file("bin/solvanter-launcher");
    devbackend::DevBackend backend;
    juce::File install;
    int firstExitCode = -1;
    std::string firstLog;
};

TEST_F(SelfUpdateRun, UpdatedLauncherRestartsItselfAndLaunchesTheApp)
{
    round_trip("install %PATH% 100%");
}

// Names outside ASCII, in the folder's path and the update's entries, reach the OS as they are.
TEST_F(SelfUpdateRun, UpdatedLauncherRestartsFromAFolderNamedOutsideAscii)
{
    round_trip(juce::CharPointer_UTF8("inst\xC3\xBC \xD0\x96\xD1\x83\xD0\xBA"));
}

void SelfUpdateRun::round_trip(const juce::String& folder)
{
    LauncherProcess first(folder);
    run_first(first);
    ASSERT_EQ(firstExitCode, 0) << firstLog;
    EXPECT_TRUE(logged("Closing launcher for self-update")) << firstLog;
    // Its worker stops after the hand-over instead of going on to the application.
    EXPECT_FALSE(logged("Checking app update")) << firstLog;

    // The patcher replaces the files and restarts the launcher. Its last echo ends patcher.txt:
    // after it only the restart runs, whose output goes elsewhere.
    const auto patcherTxt = install.getChildFile("patcher.txt");
    EXPECT_TRUE(wait_until([&] { return patcherTxt.loadFileAsString().endsWith("\r\nrestart updated launcher\r\n"); }, 30000));
    EXPECT_TRUE(patcherTxt.loadFileAsString().startsWith("Waiting for 1 seconds...\r\nstarting Launcher self-update...\r\n"))
        << patcherTxt.loadFileAsString();
    EXPECT_TRUE(install.getChildFile(markerName).existsAsFile());
    EXPECT_TRUE(install.getChildFile(wideMarkerName).existsAsFile());
    EXPECT_FALSE(install.getChildFile("Solvanter Launcher").exists());

    // The restarted launcher checks again, is up to date, installs the application and starts it.
    const auto args = install.getChildFile("Solvanter/args.txt");
    EXPECT_TRUE(wait_until([&] { return args.existsAsFile(); }, 60000));
    const auto requests = backend.requests();
    EXPECT_EQ(count_starting(requests, "/launcher/Windows/check_version/launcher/"), 2);
    // The first launcher stopped after its hand-over: the application was fetched once.
    EXPECT_EQ(count_starting(requests, "/launcher/Windows/get_build_url/app/current/Solvanter"), 1);
    EXPECT_EQ(count_starting(requests, "/builds/app.zip"), 1);
    EXPECT_NE(args.loadFileAsString().indexOf(juce::String(backend.origin())), -1) << args.loadFileAsString();

    // Having found the application's window it quits by itself.
    EXPECT_TRUE(wait_until([&] { return processes_under(install.getChildFile("solvanter-launcher").getFullPathName()).empty(); },
                           30000));
}

// A launcher folder whose path the restart line cannot carry: the update fails before any script
// is written, like its other failures, and the old launcher stays.
TEST_F(SelfUpdateRun, LauncherPathTheBatchFileCannotCarry)
{
    for (const auto* name : { "quote\"d", "back\\slash" })
    {
        SCOPED_TRACE(name);
        LauncherProcess first(name);
        run_first(first);
        const auto folder = first.folder();
        EXPECT_EQ(firstExitCode, 1) << firstLog;
        const auto path = folder.getChildFile("solvanter-launcher").getFullPathName().toStdString();
        EXPECT_TRUE(logged("[ERROR]: Launcher path \"" + path + "\" cannot be written to the patcher script")) << firstLog;
        EXPECT_TRUE(logged("Something went wrong with updating the launcher.")) << firstLog;
        EXPECT_FALSE(folder.getChildFile("patcher.bat").exists() || folder.getChildFile("patcher.vbs").exists());
        EXPECT_FALSE(folder.getChildFile(markerName).exists());
        EXPECT_EQ(file_bytes(folder.getChildFile("solvanter-launcher")), file_bytes(launcher));
    }
}
} // namespace
