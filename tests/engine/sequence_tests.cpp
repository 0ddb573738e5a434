// Whole runs of the worker against the dev backend, with the stand-in as the application.
#include "engine_test_support.h"

#include "app/palette.h"
#include "services/build_info.h"

using devbackend::Reply;

namespace
{
juce::String installed_version()
{
    return launcher_child_file("Solvanter").getChildFile("version.txt").loadFileAsString();
}

bool requested(const devbackend::DevBackend& backend, const std::string& prefix)
{
    for (const auto& request : backend.requests())
        if (request.rfind(prefix, 0) == 0)
            return true;
    return false;
}

Reply dropped()
{
    return Reply().with_mode(Reply::Mode::drop_connection);
}

double seconds_to_destroy(std::unique_ptr<LauncherComponent>& launcher)
{
    const auto start = juce::Time::getMillisecondCounterHiRes();
    launcher.reset();
    return (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0;
}

const juce::String waitingForApp = "Solvanter is already running.\nPlease close Solvanter app to continue...";
} // namespace

TEST_F(EngineTest, FreshInstallDownloadsInstallsAndStartsTheAppWithTheBackendAddresses)
{
    pack_app("1.0.0", shortLivedApp);
    auto launcher = make_launcher();
    LauncherComponentProbe probe { *launcher };
    ASSERT_TRUE(run_to_end(*launcher));

    for (auto line : { "[STATE]: Checking Solvanter API connection", "[STATE]: Checking app update to current",
                       "[INFO]: App is not installed", "[STATE]: Updating Solvanter",
                       "[STATE]: Downloading Solvanter", "[STATE]: Installing Solvanter",
                       "[INFO]: Installed app version: \"1.0.0\"", "[STATE]: Launching Solvanter" })
        EXPECT_TRUE(log->has(line)) << line;
    EXPECT_TRUE(log->has_starting("[INFO]: Unzipping 4 files finished in "));
    EXPECT_TRUE(log->has_starting("[INFO]: App process found"));
    EXPECT_FALSE(log->has("[INFO]: Removed existing app"));
    EXPECT_FALSE(log->has_starting("[ERROR]"));

    const auto& config = launcher->config;
    const auto args = juce::StringArray::fromLines(appFolder().getChildFile("args.txt").loadFileAsString().trim());
    EXPECT_EQ(args, juce::StringArray(launcher_executable_file("Solvanter").getFullPathName(), "--api", config.app_api,
                                      "--sock", config.app_websocket, "--web", config.app_account_page));
    EXPECT_EQ(probe.label().getText(), "Launching Solvanter");
    EXPECT_FALSE(probe.bar().isVisible());
    EXPECT_FALSE(launcher_child_file("config.xml").exists());
}

TEST_F(EngineTest, UpdateReplacesTheWholeApplicationFolder)
{
    install_standin("0.9.0");
    appFolder().getChildFile("old-plugin.dll").replaceWithText("old");
    pack_app("1.0.0", shortLivedApp);
    auto launcher = make_launcher();
    ASSERT_TRUE(run_to_end(*launcher));

    EXPECT_TRUE(log->has("[INFO]: Installed app version: \"0.9.0\""));
    EXPECT_TRUE(log->has("[INFO]: Update to current: \"1.0.0\""));
    EXPECT_TRUE(log->has("[INFO]: Removed existing app"));
    EXPECT_TRUE(requested(backend, "/launcher/Windows/check_version/app/current/Solvanter/0.9.0"));
    EXPECT_FALSE(appFolder().getChildFile("old-plugin.dll").exists());
    EXPECT_EQ(installed_version(), "1.0.0");
    EXPECT_FALSE(log->has_starting("[ERROR]"));
    EXPECT_TRUE(log->has_starting("[INFO]: App process found"));
}

TEST_F(EngineTest, UpToDateAppIsStartedWithoutDownloadAndConfigIsWrittenWhenAsked)
{
    install_standin("1.0.0", shortLivedApp);
    auto launcher = make_launcher(false, true);
    ASSERT_TRUE(run_to_end(*launcher));

    EXPECT_TRUE(log->has("[INFO]: App is up to date"));
    EXPECT_FALSE(requested(backend, "/launcher/Windows/get_build_url"));
    EXPECT_TRUE(log->has_starting("[INFO]: App process found"));
    EXPECT_TRUE(launcher_child_file("config.xml").existsAsFile());
}

TEST_F(EngineTest, PinnedVersionIsFetchedWithoutAskingForUpdates)
{
    install_standin("1.0.0");
    pack_app("2.0.0", shortLivedApp);
    auto launcher = make_launcher();
    launcher->config.app_build = BuildType::version;
    launcher->config.app_version = "2.0.0";
    ASSERT_TRUE(run_to_end(*launcher));

    EXPECT_TRUE(log->has("[STATE]: Checking app update to version"));
    EXPECT_TRUE(log->has("[INFO]: Getting version: \"2.0.0\""));
    EXPECT_FALSE(requested(backend, "/launcher/Windows/check_version/app"));
    EXPECT_TRUE(requested(backend, "/launcher/Windows/get_build_url/app/version/Solvanter"));
    EXPECT_EQ(installed_version(), "2.0.0");
    EXPECT_FALSE(log->has_starting("[ERROR]"));
}

TEST_F(EngineTest, SkipAppUpdateLeavesAnInstalledAppAsItIs)
{
    install_standin("0.9.0", shortLivedApp);
    auto launcher = make_launcher(true);
    ASSERT_TRUE(run_to_end(*launcher));

    const auto lines = log->lines();
    EXPECT_LT(lines.indexOf("[STATE]: Checking app update to current"), lines.indexOf("[INFO]: Skipping app update"));
    EXPECT_FALSE(requested(backend, "/launcher/Windows/check_version/app"));
    EXPECT_FALSE(requested(backend, "/launcher/Windows/get_build_url"));
    EXPECT_EQ(installed_version(), "0.9.0");
    EXPECT_TRUE(log->has_starting("[INFO]: App process found"));
}

TEST_F(EngineTest, SkipAppUpdateStillInstallsAMissingApp)
{
    pack_app("1.0.0", shortLivedApp);
    auto launcher = make_launcher(true);
    ASSERT_TRUE(run_to_end(*launcher));

    EXPECT_TRUE(log->has("[INFO]: App is not installed"));
    EXPECT_FALSE(log->has("[INFO]: Skipping app update"));
    EXPECT_EQ(installed_version(), "1.0.0");
    EXPECT_TRUE(log->has_starting("[INFO]: App process found"));
}

TEST_F(EngineTest, VersionMismatchAfterInstallIsLoggedButTheAppStillStarts)
{
    install_standin("0.9.0");
    pack_app("1.0.1", shortLivedApp);
    auto launcher = make_launcher();
    ASSERT_TRUE(run_to_end(*launcher));

    EXPECT_TRUE(log->has("[ERROR]: Installed version does not match expected version"));
    EXPECT_TRUE(log->has("[ERROR]: Expected app version: 1.0.0"));
    EXPECT_TRUE(log->has_starting("[INFO]: App process found"));
    EXPECT_FALSE(failure_shown());
}

TEST_F(EngineTest, UnreachableBackendShowsTheWaitingStateUntilItAnswers)
{
    backend.script("/", dropped());
    backend.script("/", dropped());
    install_standin("1.0.0", shortLivedApp);
    auto launcher = make_launcher();
    LauncherComponentProbe probe { *launcher };
    launcher->startThread();

    ASSERT_TRUE(pump_until([&] { return launcher->animating.load(); }, 10000));
    EXPECT_TRUE(pump_until([&] { return probe.label().findColour(juce::Label::textColourId) == Palette::warning; }, 2000));
    EXPECT_EQ(probe.label().getText(),
              "Solvanter servers could not be reached.\nCheck your internet connection or try again later...");

    ASSERT_TRUE(pump_until([&] { return ! launcher->isThreadRunning(); }, 20000));
    EXPECT_FALSE(launcher->animating);
    EXPECT_GT(launcher->getFrameCounter(), 0);
    EXPECT_EQ(log->count("[ERROR]: Could not reach Solvanter API, waiting for network connection"), 1);
    EXPECT_FALSE(log->has_starting("[STATE]: Solvanter servers could not be reached"));
    EXPECT_TRUE(log->has_starting("[INFO]: App process found"));
}

TEST_F(EngineTest, DownloadThatIsNoArchiveKeepsTheInstalledApp)
{
    install_standin("0.9.0");
    builds.getChildFile("app.zip").replaceWithText("<html>maintenance</html>");
    auto launcher = make_launcher();
    LauncherComponentProbe probe { *launcher };
    ASSERT_TRUE(run_to_end(*launcher));

    EXPECT_TRUE(log->has("[ERROR]: Invalid number of zip entries: 0"));
    EXPECT_TRUE(log->has("[ERROR]: Failed to unzip downloaded build"));
    const auto failure = "Something went wrong with updating the app.\nPlease try again or visit " + build_info::support_host();
    EXPECT_TRUE(log->has("[STATE]: " + failure));
    EXPECT_EQ(probe.label().getText(), failure);
    EXPECT_EQ(probe.label().findColour(juce::Label::textColourId), Palette::error);
    EXPECT_FALSE(probe.bar().isVisible());
    EXPECT_EQ(installed_version(), "0.9.0");
    EXPECT_TRUE(launcher_executable_file("Solvanter").existsAsFile());
    EXPECT_FALSE(log->has_starting("[STATE]: Launching"));
}

TEST_F(EngineTest, FailedLauncherUpdateAndFailedLaunchShowTheirTexts)
{
    const auto visit = "\nPlease try again or visit " + build_info::support_host();

    std::atomic<int> failures { 0 };

    backend.set_launcher_update("9.9.9", "missing-launcher.zip", 1);
    auto launcher = make_launcher();
    launcher->skipUpdate = false;
    launcher->onSequenceFailed = [&] { ++failures; };
    ASSERT_TRUE(run_to_end(*launcher));
    EXPECT_TRUE(log->has("[STATE]: Something went wrong with updating the launcher." + visit));
    EXPECT_FALSE(log->has("[STATE]: Checking app update to current"));
    EXPECT_EQ(failures, 1);

    install_standin("1.0.0", { "exit_code=2" });
    launcher = make_launcher();
    launcher->onSequenceFailed = [&] { ++failures; };
    ASSERT_TRUE(run_to_end(*launcher));
    EXPECT_EQ(failures, 2);
    EXPECT_TRUE(log->has("[ERROR]: Failed to launch app, exit code 2:"));
    EXPECT_TRUE(log->has("[STATE]: Something went wrong with launching the app." + visit));
}

TEST_F(EngineTest, LaunchWaitsWhileTheAppWindowIsOpen)
{
    install_standin("1.0.0", shortLivedApp);
    auto window = open_app_window();
    auto launcher = make_launcher();
    LauncherComponentProbe probe { *launcher };
    launcher->startThread();

    ASSERT_TRUE(pump_until([&] { return probe.label().getText() == waitingForApp; }, 10000));
    EXPECT_TRUE(log->has("[ERROR]: Solvanter app is running, waiting for app to be closed"));
    EXPECT_TRUE(launcher->animating);
    pump(1000);
    EXPECT_FALSE(appFolder().getChildFile("args.txt").exists()) << "started while the window was open";

    window->kill();
    ASSERT_TRUE(pump_until([&] { return ! launcher->isThreadRunning(); }, 15000));
    EXPECT_FALSE(launcher->animating);
    EXPECT_TRUE(log->has_starting("[INFO]: App process found"));
    EXPECT_FALSE(failure_shown());
}

TEST_F(EngineTest, StopDuringTheBackendWaitEndsPromptlyAndQuietly)
{
    backend.script("/", dropped(), false);
    auto launcher = make_launcher();
    launcher->onSequenceFailed = [] { ADD_FAILURE() << "a stop is no failure"; };
    launcher->startThread();
    ASSERT_TRUE(pump_until([&] { return launcher->animating.load(); }, 10000));
    pump(300);

    EXPECT_LT(seconds_to_destroy(launcher), 5.0);
    EXPECT_TRUE(log->has("[INFO]: Cancelled"));
    EXPECT_FALSE(failure_shown());
}

TEST_F(EngineTest, StopWhileWaitingForTheAppToCloseEndsPromptlyAndQuietly)
{
    install_standin("1.0.0");
    auto window = open_app_window();
    auto launcher = make_launcher();
    LauncherComponentProbe probe { *launcher };
    launcher->startThread();
    ASSERT_TRUE(pump_until([&] { return probe.label().getText() == waitingForApp; }, 10000));

    EXPECT_LT(seconds_to_destroy(launcher), 5.0);
    window->kill();
    EXPECT_TRUE(log->has("[INFO]: Cancelled"));
    EXPECT_FALSE(failure_shown());
    EXPECT_FALSE(appFolder().getChildFile("args.txt").exists());
}

TEST_F(EngineTest, StopDuringADownloadEndsPromptlyAndQuietly)
{
    backend.script("/builds/app.zip", Reply::file(std::string(1000, 'x')).with_delay(30000));
    auto launcher = make_launcher();
    launcher->startThread();
    ASSERT_TRUE(backend.wait_for_request("/builds/app.zip", 10000));

    EXPECT_LT(seconds_to_destroy(launcher), 5.0);
    EXPECT_FALSE(failure_shown());
    EXPECT_FALSE(appFolder().exists());
}

TEST_F(EngineTest, StopWhileLookingForTheAppWindowIsNoFailure)
{
    install_standin("1.0.0", { "no_window=1", "lifetime_ms=3000" });
    auto launcher = make_launcher();
    launcher->startThread();
    ASSERT_TRUE(pump_until([&] { return appFolder().getChildFile("args.txt").exists(); }, 10000));
    pump(800);

    EXPECT_LT(seconds_to_destroy(launcher), 5.0);
    EXPECT_TRUE(log->has("[INFO]: Cancelled"));
    EXPECT_FALSE(log->has_starting("[ERROR]"));
    EXPECT_FALSE(failure_shown());
}
