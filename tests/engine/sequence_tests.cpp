// Whole runs of the worker against the dev backend, with the stand-in as the application.
#include "support/scene.h"

#include "engine/InstallLock.h"
#include "platform/platform.h"
#include "services/build_info.h"
#include "support/look.h"

using devbackend::Reply;

namespace
{
const juce::String waitingForApp = "Solvanter is already running.\nPlease close Solvanter app to continue...";
const juce::String unreachable =
    "Solvanter servers could not be reached.\nCheck your internet connection or try again later...";
const juce::String waitingLine = "[ERROR]: Could not reach Solvanter API, waiting for network connection";
const juce::String appWaitLine = "[ERROR]: Solvanter app is running, waiting for app to be closed";
const Reply dropped = Reply().with_mode(Reply::Mode::drop_connection);

template <typename Row>
std::string row_name(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }

struct Run
{
    const char* name;
    const char* installed; // version.txt of an installed app; nullptr: none
    const char* packed;    // the version of the build served; nullptr: none
    const char* pinned;    // nullptr: build type current
    int windowOpenMs;      // an earlier instance's window, open for this long
    int backendDown;       // requests to "/" that get no answer
    bool skipAppUpdate, writeConfig;
    juce::StringArray lines;           // logged in this order; "!" first: never logged
    std::vector<std::string> requests; // "!" first: never asked
    const char* versionAfter;
    std::function<void()> arrange = {}; // anything else, after the installed app is in place
    const char* stays = "";             // what cannot be removed (and is named once at start-up)
};

// Makes folders below the launcher's folder impossible to remove, or skips the test.
std::function<void()> undeletable(const juce::StringArray& paths)
{
    return [paths] {
        for (const auto& path : paths)
            if (const auto why = make_undeletable(launcher_child_file(path)); why.isNotEmpty())
                GTEST_SKIP() << why;
    };
}

// A version.txt of megabytes, its version on the first line.
const std::string hugeVersion = "1.0.0\n" + std::string(5000000, 'v');
// Its 256-byte prefix ends in the middle of a character, on a later line.
const std::string cutVersion = "0.9-\xc3\xbc\n" + std::string(248, 'v') + "\xc3\xa9";
const juce::String replacedBuildStays = "[INFO]: Could not remove the replaced app build \"*/";

const Run runs[] = {
    { "FreshInstall", nullptr, "1.0.0", nullptr, 0, 0, false, false,
      { "[STATE]: Checking Solvanter API connection", "[STATE]: Checking app update to current",
        "[INFO]: App is not installed", "[STATE]: Updating Solvanter", "[STATE]: Downloading Solvanter",
        "[STATE]: Installing Solvanter", "[INFO]: Unzipping 4 files finished in * seconds",
        "[INFO]: Installed app version: \"1.0.0\"", "!*Removed existing app" },
      { "/launcher/Windows/get_build_url/app/current/Solvanter" }, "1.0.0" },
    // The installed version is read trimmed, for the log and for the check request.
    { "UpdateReplacesTheFolder", "  0.9.0\r\n", "1.0.0", nullptr, 0, 0, false, false,
      { "[INFO]: Installed app version: \"0.9.0\"", "[INFO]: Update to current: \"1.0.0\"",
        "[INFO]: Removed existing app" },
      { "/launcher/Windows/check_version/app/current/Solvanter/0.9.0" }, "1.0.0" },
    { "UpToDateWritesConfig", "1.0.0", nullptr, nullptr, 0, 0, false, true,
      { "[INFO]: App is up to date" }, { "!/launcher/Windows/get_build_url" }, "1.0.0" },
    // Each wait lasts until the earlier instance's window has gone: the launch's, and the update's.
    { "AppWindowOpen", "1.0.0", nullptr, nullptr, 3000, 0, false, false,
      { "[STATE]: Launching Solvanter", appWaitLine, "[INFO]: App process found*" }, {}, "1.0.0" },
    { "AppWindowOpenDuringTheUpdate", "0.9.0", "1.0.0", nullptr, 4000, 0, false, false,
      { "[STATE]: Updating Solvanter", appWaitLine, "[STATE]: Downloading Solvanter", "[INFO]: Removed existing app",
        "[STATE]: Launching Solvanter" }, {}, "1.0.0" },
    // The worker waits for the backend, then goes on.
    { "BackendDownThenUp", "1.0.0", nullptr, nullptr, 0, 2, false, false,
      { "[STATE]: Checking Solvanter API connection", waitingLine, "[INFO]: Message: *", "!*Solvanter servers*" }, {},
      "1.0.0" },
    { "PinnedVersion", "1.0.0", "2.0.0", "2.0.0", 0, 0, false, false,
      { "[STATE]: Checking app update to version", "[INFO]: Getting version: \"2.0.0\"" },
      { "!/launcher/Windows/check_version/app", "/launcher/Windows/get_build_url/app/version/Solvanter" }, "2.0.0" },
    { "SkipAppUpdateWithApp", "0.9.0", "1.0.0", nullptr, 0, 0, true, false,
      { "[STATE]: Checking app update to current", "[INFO]: Skipping app update" },
      { "!/launcher/Windows/check_version/app", "!/launcher/Windows/get_build_url" }, "0.9.0" },
    { "SkipAppUpdateWithoutApp", nullptr, "1.0.0", nullptr, 0, 0, true, false,
      { "[INFO]: App is not installed", "!*Skipping app update" }, {}, "1.0.0" },
    { "VersionMismatch", "0.9.0", "1.0.1", nullptr, 0, 0, false, false,
      { "[ERROR]: Installed version does not match expected version", "[ERROR]: Expected app version: 1.0.0" },
      {}, "1.0.1" },
    // A launcher killed mid-install leaves its unzip folder, or the old application set aside.
    { "InterruptedInstallCleanedUp", "1.0.0", nullptr, nullptr, 0, 0, false, false, { "[INFO]: App is up to date" }, {},
      "1.0.0",
      [] {
          ASSERT_TRUE(EngineTest::appFolder().moveFileTo(launcher_child_file("Solvanter.old")));
          ASSERT_TRUE(write_file(launcher_child_file("Solvanter.installing/Solvanter/version.txt"), "2.0.0"));
      } },
    // Only the first line of a huge version.txt is read, logged and sent: before and after the update.
    { "HugeVersionFiles", "0.9.0", hugeVersion.c_str(), nullptr, 0, 0, false, false,
      { "[INFO]: Installed app version: \"0.9.0\"", "[INFO]: Removed existing app",
        "[INFO]: Installed app version: \"1.0.0\"" },
      { "/launcher/Windows/check_version/app/current/Solvanter/0.9.0" }, hugeVersion.c_str(),
      [] {
          ASSERT_TRUE(write_file(EngineTest::appFolder().getChildFile("version.txt"), "\n 0.9.0\r\n" + hugeVersion));
      } },
    // A replaced build that cannot be removed (held open, another user's) blocks no later update.
    { "UndeletableOldBuild", "0.9.0", "1.0.0", nullptr, 0, 0, false, false,
      { "[INFO]: Could not remove what earlier installs left, tried again at the next start: \"*/Solvanter.old\"",
        "[INFO]: Removed existing app" },
      {}, "1.0.0",
      undeletable({ "Solvanter.old" }),
      "Solvanter.old" },
    // Nor does an unzip folder that cannot be emptied, and none of its files joins the new build.
    { "UndeletableUnzipFolder", "0.9.0", "1.0.0", nullptr, 0, 0, false, false,
      { "[INFO]: Could not remove what earlier installs left, tried again at the next start: \"*/Solvanter.installing\"",
        "[INFO]: Removed existing app" },
      {}, "1.0.0",
      undeletable({ "Solvanter.installing/Solvanter" }),
      "Solvanter.installing" },
    // A version is shown escaped: no escape sequence reaches the terminal.
    { "VersionWithAnEscapeSequence", "0.9.0\x1B[2J", "1.0.0", nullptr, 0, 0, false, false,
      { "[INFO]: Installed app version: \"0.9.0\\x1B[2J\"", "[INFO]: Update to current: \"1.0.0\"",
        "[INFO]: Removed existing app" },
      { "/launcher/Windows/check_version/app/current/Solvanter/0.9.0%1B%5B2J" }, "1.0.0" },
    { "VersionLineBeforeACutCharacter", "0.9.0", "1.0.0", nullptr, 0, 0, false, false,
      { juce::String::fromUTF8("[INFO]: Installed app version: \"0.9-\xc3\xbc\""), "[INFO]: Removed existing app" },
      { "/launcher/Windows/check_version/app/current/Solvanter/0.9-%C3%BC" }, "1.0.0",
      [] { ASSERT_TRUE(write_file(EngineTest::appFolder().getChildFile("version.txt"), cutVersion)); } },
    // The replaced build goes one number above the highest left, whatever lies below it and
    // however many digits it has.
    { "SetAsideAboveTheHighestLeft", "0.9.0", "1.0.0", nullptr, 0, 0, false, false,
      { "[INFO]: Could not remove what earlier installs left*", replacedBuildStays + "Solvanter.old.4\"*" }, {}, "1.0.0",
      undeletable({ "Solvanter.old", "Solvanter.old.3", "Solvanter" }), "Solvanter.old,Solvanter.old.3,Solvanter.old.4" },
    { "SetAsideAboveSixDigits", "0.9.0", "1.0.0", nullptr, 0, 0, false, false,
      { "[INFO]: Could not remove what earlier installs left*",
        replacedBuildStays + "Solvanter.old.100000000000000000000\"*" },
      {}, "1.0.0", undeletable({ "Solvanter.old.999999", "Solvanter.old.99999999999999999999", "Solvanter" }),
      "Solvanter.old.100000000000000000000,Solvanter.old.999999,Solvanter.old.99999999999999999999" },
    // A numbered unzip folder above six digits is cleaned up, never unzipped into.
    { "UnzipFoldersAboveSixDigits", "0.9.0", "1.0.0", nullptr, 0, 0, false, false,
      { "[INFO]: Could not remove what earlier installs left*", "[INFO]: Removed existing app" }, {}, "1.0.0",
      [] {
          undeletable({ "Solvanter.installing/Solvanter", "Solvanter.installing.999999/Solvanter" })();
          ASSERT_TRUE(write_file(launcher_child_file("Solvanter.installing.1000000/Solvanter/old-plugin.dll"), "planted"));
      },
      "Solvanter.installing,Solvanter.installing.999999" },
    // A folder where the executable belongs is no installed application: it is replaced, not launched.
    { "ExecutableFolderIsNoApp", nullptr, "1.0.0", nullptr, 0, 0, false, false,
      { "[INFO]: App is not installed", "[INFO]: Removed existing app" }, {}, "1.0.0",
      [] {
          ASSERT_TRUE(launcher_executable_file("Solvanter").createDirectory());
          ASSERT_TRUE(EngineTest::appFolder().getChildFile("version.txt").replaceWithText("1.0.0"));
      } },
};

void PrintTo(const Run& row, std::ostream* os) { *os << row.name; }
struct WholeRun : EngineTest, ::testing::WithParamInterface<Run> {};
} // namespace

TEST_P(WholeRun, EndsWithTheAppStarted)
{
    const auto& row = GetParam();
    if (row.installed != nullptr)
    {
        install_standin(row.installed, shortLivedApp);
        appFolder().getChildFile("old-plugin.dll").replaceWithText("old");
    }
    if (row.arrange)
        row.arrange();
    if (HasFatalFailure() || IsSkipped())
        return;
    if (row.packed != nullptr)
        pack_app(row.packed, shortLivedApp);
    const auto started = juce::Time::getCurrentTime();
    if (row.windowOpenMs > 0)
        open_app_window(row.windowOpenMs);
    for (int i = 0; i < row.backendDown; ++i)
        backend.script("/", dropped);

    auto launcher = make_launcher(row.skipAppUpdate, row.writeConfig);
    if (row.pinned != nullptr)
    {
        launcher->config.app_build = BuildType::version;
        launcher->config.app_version = row.pinned;
    }
    ASSERT_TRUE(run_to_end(*launcher));

    EXPECT_TRUE(log.logged(row.lines)) << log.lines().joinIntoString("\n").substring(0, 10000);
    for (const auto& line : log.lines())
        EXPECT_LT(line.length(), 1000) << line.substring(0, 100);
    EXPECT_TRUE(log.logged({ "[INFO]: Skipping self-update", "[STATE]: Launching Solvanter", "[INFO]: App process found*",
                             "!*Something went wrong*" }));
    EXPECT_FALSE(requested("/launcher/Windows/check_version/launcher"));
    EXPECT_EQ(log.logged({ "[ERROR]*" }), row.lines.joinIntoString("\n").contains("[ERROR]"));
    EXPECT_FALSE(log.logged({ waitingLine, waitingLine }));
    for (const auto& request : row.requests)
        EXPECT_EQ(requested(request.substr(request[0] == '!' ? 1 : 0)), request[0] != '!') << request;

    EXPECT_EQ(installed_version(), row.versionAfter);
    EXPECT_FALSE(appFolder().getChildFile("held").exists());
    const auto kept = row.installed != nullptr && juce::String(row.installed) == row.versionAfter;
    EXPECT_EQ(appFolder().getChildFile("old-plugin.dll").exists(), kept);
    const auto& config = launcher->config;
    const auto argsFile = appFolder().getChildFile("args.txt");
    // Not started before the earlier instance's window had gone (file times have whole seconds).
    EXPECT_GE(argsFile.getLastModificationTime().toMilliseconds(),
              (started.toMilliseconds() + row.windowOpenMs) / 1000 * 1000);
    EXPECT_EQ(juce::StringArray::fromLines(argsFile.loadFileAsString().trim()),
              juce::StringArray(launcher_executable_file("Solvanter").getFullPathName(), "--api", config.app_api,
                                "--sock", config.app_websocket, "--web", config.app_account_page));
    EXPECT_EQ(leftovers(), row.writeConfig ? "config.xml" : row.stays);
    int named = 0;
    for (const auto& line : log.lines())
        named += line.startsWith("[INFO]: Could not remove what earlier installs left") ? 1 : 0;
    EXPECT_EQ(named, *row.stays ? 1 : 0);
    // The spinner ran only while the worker waited, and is off again; so is the progress bar.
    EXPECT_EQ(launcher->getFrameCounter() > 0, row.windowOpenMs > 0 || row.backendDown > 0);
    EXPECT_FALSE(launcher->animating);
    EXPECT_FALSE(LauncherComponentProbe { *launcher }.bar().isVisible());
}

INSTANTIATE_TEST_SUITE_P(Engine, WholeRun, ::testing::ValuesIn(runs), row_name<Run>);

namespace
{
const Reply late = Reply::json(R"({"message":"late","result":true,"remote_version":"1.0.0","url":""})").with_delay(30000);
const std::string launcherCheck = std::string("/launcher/Windows/check_version/launcher/current/")
                                  + build_info::launcher_name + "/" + build_info::build_name;
const std::string appCheck = "/launcher/Windows/check_version/app/current/Solvanter/1.0.0";
const std::string appQuery = "/launcher/Windows/get_build_url/app/current/Solvanter";

using Arrange = std::function<void(EngineTest&, LauncherComponent&)>;
using Condition = std::function<bool(EngineTest&, LauncherComponent&)>;
Condition labelShows(juce::String text)
{
    return [text](EngineTest&, LauncherComponent& l) { return LauncherComponentProbe { l }.label().getText().startsWith(text); };
}
// While it waits, the spinner turns beside the amber text.
Condition waitingWith(juce::String text)
{
    return [text](EngineTest&, LauncherComponent& l) {
        auto& label = LauncherComponentProbe { l }.label();
        return l.animating && label.getText() == text && label.findColour(juce::Label::textColourId) == expected::warning;
    };
}

// Runs that end without the application started: a failed step, or a stop request.
struct Ending
{
    const char* name;
    const char* installed;      // the installed app's version, which must survive; nullptr: none
    juce::StringArray settings; // the installed stand-in's
    Arrange arrange;            // anything else
    Condition stopWhen;         // empty: run to the end
    const char* failure;        // the failed step's words; nullptr: none
    juce::StringArray lines;
};

// Quitting cancels the request in flight: "Cancelled", and no failure of the backend's.
Ending quit_during(const char* name, const std::string& path)
{
    return { name, path == appCheck ? "1.0.0" : nullptr, {},
             [path](EngineTest& t, LauncherComponent& l) {
                 t.backend.script(path, late);
                 l.skipUpdate = path != launcherCheck;
             },
             [path](EngineTest& t, LauncherComponent&) { return t.requested(path); }, nullptr,
             { "[INFO]: Cancelled", "![ERROR]*" } };
}

const Ending endings[] = {
    { "LauncherUpdateFails", nullptr, {},
      [](EngineTest& t, LauncherComponent& l) {
          t.backend.set_launcher_update("9.9.9", "missing-launcher.zip", 1);
          l.skipUpdate = false;
      },
      {}, "updating the launcher", { "!*Checking app update*" } },
    // The download is no archive.
    { "AppUpdateFails", "0.9.0", {},
      [](EngineTest& t, LauncherComponent&) { t.backend.script("/builds/app.zip", Reply::file("<html>maintenance</html>")); },
      {}, "updating the app",
      { "[ERROR]: Invalid number of zip entries: 0", "[ERROR]: Failed to unzip downloaded build", "!*Launching*" } },
    // No lock to be had (a folder in its file's place): another launcher might be installing unseen.
    { "InstallLockImpossible", "0.9.0", {},
      [](EngineTest& t, LauncherComponent&) {
          t.pack_app("1.0.0");
          ASSERT_TRUE(InstallLock::file().createDirectory());
      },
      {}, "updating the app",
      { "[ERROR]: Failed to take the install lock \"*install.lock\": nothing installed", "!*Unzipping*" } },
    // Nor one that is no regular file, which might open and even lock.
    { "InstallLockIsAFifo", "0.9.0", {},
      [](EngineTest& t, LauncherComponent&) {
          t.pack_app("1.0.0");
          ASSERT_EQ(mkfifo(InstallLock::file().getFullPathName().toRawUTF8(), 0600), 0);
      },
      {}, "updating the app",
      { "[ERROR]: Failed to take the install lock \"*install.lock\": nothing installed", "!*Unzipping*" } },
    { "LaunchExitsAtOnce", "1.0.0", { "exit_code=2", "message=Licence server unreachable" }, {}, {}, "launching the app",
      { "[ERROR]: Failed to launch app, exit code 2:", "[ERROR]: Licence server unreachable" } },
    // The application's output, a line at a time and escaped: none of its lines passes for the launcher's.
    { "LaunchExitsWithOutputOfManyLines", "1.0.0", { "exit_code=2" },
      [](EngineTest&, LauncherComponent&) {
          setenv("STANDIN_MESSAGE", "Licence\x1B[2J server\xC0\xAE unreachable\r\n12:00:00 [INFO]: App process found", 1);
      },
      {}, "launching the app",
      { "[ERROR]: Failed to launch app, exit code 2:", "[ERROR]: Licence\\x1B[2J server\\xC0\\xAE unreachable",
        "[ERROR]: 12:00:00 [INFO]: App process found" } },
    { "LaunchCannotStart", "1.0.0", {},
      [](EngineTest&, LauncherComponent&) { launcher_executable_file("Solvanter").setExecutePermission(false); }, {},
      "launching the app",
      { "[ERROR]: App launch command failed: */Solvanter/Solvanter.exe --api http://127.0.0.1:* --sock * --web *",
        "[ERROR]: Failed to launch app, exit code 0:" } },
    // The one slow case: twenty checks half a second apart.
    { "LaunchShowsNoWindow", "1.0.0", { "no_window=1", "lifetime_ms=12000" }, {}, {}, "launching the app",
      { "[ERROR]: App process not found after 10 seconds" } },
    { "StopDuringTheBackendWait", nullptr, {},
      [](EngineTest& t, LauncherComponent&) { t.backend.script("/", dropped, false); }, waitingWith(unreachable),
      nullptr, { waitingLine, "[INFO]: Cancelled" } },
    { "StopWhileTheAppWindowIsOpen", "1.0.0", {}, [](EngineTest& t, LauncherComponent&) { t.open_app_window(); },
      waitingWith(waitingForApp), nullptr, { "[INFO]: Cancelled", "!*App process found*" } },
    { "StopWhileTheAppWindowIsOpenBeforeTheUpdate", "0.9.0", {},
      [](EngineTest& t, LauncherComponent&) {
          t.pack_app("1.0.0");
          t.open_app_window();
      },
      waitingWith(waitingForApp), nullptr, { "[STATE]: Updating Solvanter", "[INFO]: Cancelled", "!*Downloading*" } },
    { "StopWhileLookingForTheAppWindow", "1.0.0", { "no_window=1", "lifetime_ms=3000" }, {},
      [](EngineTest&, LauncherComponent&) { return EngineTest::appFolder().getChildFile("args.txt").exists(); },
      nullptr, { "[INFO]: Cancelled", "!*App process not found*" } },
    // Only HTTP(S) is fetched, also where a redirect leads; the installed build stays.
    { "DownloadAddressNotHttp", "0.9.0", {},
      [](EngineTest& t, LauncherComponent&) { t.backend.script(appQuery, Reply::json(R"({"url":"file:///dev/null"})")); },
      {}, "updating the app", { "[ERROR]: Refused to open a non-HTTP(S) address: file:///dev/null" } },
    { "DownloadRedirectedToFtp", "0.9.0", {},
      [](EngineTest& t, LauncherComponent&) {
          t.backend.script("/builds/app.zip", Reply::redirect("ftp://127.0.0.1:1/app.zip"));
      },
      {}, "updating the app",
      { "[ERROR]: Refused to follow a redirect to a non-HTTP(S) address: ftp://127.0.0.1:1/app.zip" } },
    quit_during("QuitDuringTheStatusCheck", "/"),
    quit_during("QuitDuringTheLauncherCheck", launcherCheck),
    quit_during("QuitDuringTheAppCheck", appCheck),
    quit_during("QuitDuringTheDownloadQuery", appQuery),
    // Stopped while the read loop waits for the rest of the archive: the cancelled read ends the
    // loop early, and that must not pass for a finished (or merely incomplete) download. The stall
    // comes after whole chunks, so the cancelled read returns nothing.
    { "StopInTheDownloadLoop", nullptr, {},
      [](EngineTest& t, LauncherComponent&) {
          t.backend.script("/builds/app.zip",
                           Reply::file(std::string(2000000, 'x')).with_mode(Reply::Mode::stalled, 12 * 8192));
      },
      labelShows("Downloading Solvanter:  0.1 / 1.9 MB"), nullptr,
      { "[INFO]: Cancelled", "![ERROR]*", "!*Download finished*", "!*Total bytes*" } },
};

void PrintTo(const Ending& row, std::ostream* os) { *os << row.name; }
struct EndedRun : EngineTest, ::testing::WithParamInterface<Ending> {};
} // namespace

TEST_P(EndedRun, ShowsOnlyAFailureAndCallsTheHookOnlyThen)
{
    const auto& row = GetParam();
    std::atomic<int> hookCalls { 0 };
    if (row.installed != nullptr)
        install_standin(row.installed, row.settings);
    auto launcher = make_launcher();
    if (row.arrange)
        row.arrange(*this, *launcher);
    launcher->onSequenceFailed = [&] { ++hookCalls; };
    if (row.stopWhen)
    {
        launcher->startThread();
        ASSERT_TRUE(wait_until([&] { return row.stopWhen(*this, *launcher); }, 10000));
        pump(800); // into the wait itself
        // The worker ends promptly and quietly.
        const auto start = juce::Time::getMillisecondCounterHiRes();
        launcher.reset();
        EXPECT_LT(juce::Time::getMillisecondCounterHiRes() - start, 5000.0);
        EXPECT_FALSE(log.logged({ "*Cancelled", "*Cancelled" }));
    }
    else
    {
        ASSERT_TRUE(run_to_end(*launcher));
        LauncherComponentProbe probe { *launcher };
        const auto text = "Something went wrong with " + juce::String(row.failure) + ".\nPlease try again or visit "
                          + build_info::support_host();
        EXPECT_TRUE(log.logged({ "[STATE]: " + text }));
        EXPECT_EQ(probe.label().getText(), text);
        EXPECT_EQ(probe.label().findColour(juce::Label::textColourId), expected::error);
        EXPECT_FALSE(probe.bar().isVisible());
    }
    EXPECT_EQ(hookCalls, row.failure != nullptr ? 1 : 0);
    EXPECT_TRUE(log.logged(row.lines)) << log.lines().joinIntoString("\n");
    EXPECT_EQ(installed_version(), row.installed != nullptr ? row.installed : "");
    EXPECT_EQ(launcher_executable_file("Solvanter").existsAsFile(), row.installed != nullptr);
}

INSTANTIATE_TEST_SUITE_P(Engine, EndedRun, ::testing::ValuesIn(endings), row_name<Ending>);

// The backend receives the installed version exactly as version.txt holds it, whatever it holds.
TEST_F(EngineTest, InstalledVersionReachesTheBackendAsItIs)
{
    for (const juce::String version : { "1.2.3", "2.0#rc1", "2.0 beta", "2.0/beta", "..",
                                        "../../../get_build_url/app/current/Solvanter?x=1" })
    {
        SCOPED_TRACE(version);
        install_standin(version);
        backend.set_app_version(version.toStdString());
        log.clear();
        auto launcher = make_launcher();
        EXPECT_FALSE(LauncherComponentProbe { *launcher }.check_app_update());
        EXPECT_TRUE(log.logged({ "[INFO]: App is up to date", "![ERROR]*" })) << log.lines().joinIntoString("\n");
    }
    EXPECT_EQ(backend.requests().front(), appCheck.substr(0, appCheck.size() - 5) + "1.2.3");
    EXPECT_EQ(backend.requests().size(), 6u);
}
