// One real self-update: the built launcher, started headless from a scratch install folder,
// updates itself from the dev backend and quits; the script host restarts the new copy, which
// installs and launches the stand-in application. Needs an X display and the port of the backend
// address compiled into the launcher of the test build.
#include "patcher_test_support.h"

#include "dev_backend.h"
#include "services/build_info.h"

#include <juce_data_structures/juce_data_structures.h>

#include <csignal>
#include <cstdlib>

#include <unistd.h>

namespace
{
// Processes whose executable's path starts with the prefix, wherever they were adopted.
std::vector<int> processes_under(const juce::String& prefix)
{
    std::vector<int> pids;
    for (const auto& entry : juce::RangedDirectoryIterator(juce::File("/proc"), false, "*", juce::File::findDirectories))
    {
        const auto name = entry.getFile().getFileName();
        char target[4096];
        const auto n = ::readlink(("/proc/" + name + "/exe").toRawUTF8(), target, sizeof target);
        if (name.containsOnly("0123456789") && n > 0
            && juce::String::fromUTF8(target, (int) n).startsWith(prefix))
            pids.push_back(name.getIntValue());
    }
    return pids;
}

// Ends what the test started in the folder, even when it fails half-way.
struct Reaper
{
    juce::File folder;
    ~Reaper()
    {
        for (auto pid : processes_under(folder.getFullPathName() + "/"))
            ::kill(pid, SIGKILL);
    }
};

TEST(SelfUpdateRoundTrip, UpdatedLauncherRestartsItselfAndLaunchesTheApp)
{
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under Xvfb";
    const auto launcher = build_file("bin/solvanter-launcher");
    const auto standin = build_file("tests/standin/solvanter-standin-app");
    const auto makeAppZip = juce::File(SOLVANTER_SOURCE_DIR).getChildFile("tests/standin/make_app_zip.sh");
    for (const auto& needed : { launcher, script_host_binary(), standin, makeAppZip })
        ASSERT_TRUE(needed.existsAsFile()) << needed.getFullPathName();

    ScratchFolder install, builds, stage;
    Reaper reaper { install.folder };

    devbackend::DevBackend backend;
    // Other test programs use the same port for a while; wait for it rather than fail at once.
    const auto port = juce::URL(build_info::api_origin()).getPort();
    ASSERT_TRUE(wait_until([&] { return backend.start(port); }, 120000)) << "port " << port << " stayed taken";
    const juce::String origin(backend.origin());

    // The installed launcher, and the update: the same two programs and a marker only it brings.
    const auto newBuild = stage / "Solvanter Launcher";
    ASSERT_TRUE(write_file(newBuild.getChildFile("marker.txt"), "updated"));
    for (const auto& folder : { install.folder, newBuild })
        ASSERT_TRUE(copy_executable(launcher, folder.getChildFile("solvanter-launcher"))
                    && copy_executable(script_host_binary(), folder.getChildFile("solvanter-script-host")));
    juce::PropertiesFile config(install / "config.xml", juce::PropertiesFile::Options());
    config.setValue("app_api", origin);
    ASSERT_TRUE(config.save());
    juce::ChildProcess zip;
    ASSERT_TRUE(zip.start(juce::StringArray { "/bin/sh", "-c",
                                              "cd \"$0\" && zip -q -r -X \"$1/launcher.zip\" \"Solvanter Launcher\" && "
                                              "\"$2\" \"$3\" 1.0.0 \"$1/app.zip\" lifetime_ms=4000",
                                              stage.folder.getFullPathName(), builds.folder.getFullPathName(),
                                              makeAppZip.getFullPathName(), standin.getFullPathName() },
                          0));
    ASSERT_TRUE(zip.waitForProcessToFinish(60000) && zip.getExitCode() == 0);

    backend.set_builds_folder(builds.folder.getFullPathName().toStdString());
    backend.set_app_version("1.0.0");
    backend.set_app_archive("app.zip");
    backend.set_launcher_update("2.9.25", "launcher.zip", 1);

    // The first launcher updates itself and quits. Its output goes to a file, so nothing it leaves
    // running holds a pipe of ours open.
    juce::ChildProcess first;
    ASSERT_TRUE(first.start(juce::StringArray { "/bin/sh", "-c", "exec \"$0\" --headless > \"$1\" 2>&1",
                                                (install / "solvanter-launcher").getFullPathName(),
                                                (stage / "first.log").getFullPathName() },
                            0));
    ASSERT_TRUE(first.waitForProcessToFinish(90000)) << file_bytes(stage / "first.log");
    const auto firstLog = file_bytes(stage / "first.log");
    EXPECT_EQ(first.getExitCode(), 0u) << firstLog;
    EXPECT_NE(firstLog.find("Closing launcher for self-update"), std::string::npos) << firstLog;
    // Its worker stops after the hand-over instead of going on to the application.
    EXPECT_EQ(firstLog.find("Checking app update"), std::string::npos) << firstLog;

    // The patcher replaces the files and restarts the launcher.
    EXPECT_TRUE(wait_until([&] { return (install / "marker.txt").existsAsFile(); }, 30000));
    EXPECT_TRUE(wait_until([&] { return ! (install / "Solvanter Launcher").exists(); }, 30000));
    // The patcher's last line comes after the moves: wait for it, not for the moved files.
    wait_until([&] { return juce::String(file_bytes(install / "patcher.txt")).endsWith("restart updated launcher\r\n"); },
               30000);
    const auto patcherOutput = juce::String(file_bytes(install / "patcher.txt"));
    EXPECT_TRUE(patcherOutput.startsWith("Waiting for 1 seconds...\r\nstarting Launcher self-update...\r\n")
                && patcherOutput.endsWith("\r\nrestart updated launcher\r\n") && ! patcherOutput.contains("Unknown"))
        << patcherOutput;

    // The restarted launcher checks again, is up to date, installs the application and starts it.
    const auto args = install / "Solvanter/args.txt";
    EXPECT_TRUE(wait_until([&] { return args.existsAsFile(); }, 60000));
    const auto requests = backend.requests();
    EXPECT_EQ(count_starting(requests, "/launcher/Windows/check_version/launcher/"), 2);
    // The first launcher stopped after its hand-over: the application was fetched once.
    EXPECT_EQ(count_starting(requests, "/launcher/Windows/get_build_url/app/current/Solvanter"), 1);
    EXPECT_EQ(count_starting(requests, "/builds/app.zip"), 1);
    EXPECT_NE(args.loadFileAsString().indexOf(origin), -1) << args.loadFileAsString();

    // Having found the application's window it quits by itself.
    EXPECT_TRUE(wait_until([&] { return processes_under((install / "solvanter-launcher").getFullPathName()).empty(); },
                           30000));
}
} // namespace
