// One real self-update: the built launcher, started headless from a scratch install folder,
// updates itself from the dev backend, quits, and the script host restarts the new copy, which
// installs and launches the stand-in application. Needs an X display (run under Xvfb) and port
// 18230, the backend address compiled into the launcher of the test build.
#include "patcher_test_support.h"

#include "dev_backend.h"

#include <juce_data_structures/juce_data_structures.h>

#include <csignal>
#include <cstdlib>

#include <unistd.h>

namespace
{
constexpr int backendPort = 18230;

// Ends every process whose executable lies in the folder: the launchers, the script host and the
// stand-in started during the test, wherever they were adopted.
class FolderProcessReaper
{
public:
    explicit FolderProcessReaper(const juce::File& folder) : prefix(folder.getFullPathName() + "/") {}
    ~FolderProcessReaper() { kill_all(); }

    juce::Array<int> running() const
    {
        juce::Array<int> pids;
        for (const auto& entry : juce::RangedDirectoryIterator(juce::File("/proc"), false, "*",
                                                               juce::File::findDirectories))
        {
            const auto name = entry.getFile().getFileName();
            if (! name.containsOnly("0123456789"))
                continue;
            char target[4096];
            const auto link = "/proc/" + name + "/exe";
            const auto n = ::readlink(link.toRawUTF8(), target, sizeof target - 1);
            if (n <= 0)
                continue;
            target[n] = 0;
            if (juce::String::fromUTF8(target).startsWith(prefix))
                pids.add(name.getIntValue());
        }
        return pids;
    }

    bool runs(const juce::String& fileName) const
    {
        for (auto pid : running())
        {
            char target[4096];
            const auto link = "/proc/" + juce::String(pid) + "/exe";
            const auto n = ::readlink(link.toRawUTF8(), target, sizeof target - 1);
            if (n > 0 && juce::String::fromUTF8(target, (int) n).startsWith(prefix + fileName))
                return true;
        }
        return false;
    }

    void kill_all() const
    {
        for (auto pid : running())
            ::kill(pid, SIGKILL);
    }

private:
    juce::String prefix;
};

bool run_tool(const juce::StringArray& command)
{
    juce::ChildProcess tool;
    return tool.start(command, 0) && tool.waitForProcessToFinish(60000) && tool.getExitCode() == 0;
}

bool copy_executable(const juce::File& source, const juce::File& target)
{
    return source.copyFileTo(target) && target.setExecutePermission(true);
}

int count_starting(const std::vector<std::string>& requests, const std::string& prefix)
{
    int count = 0;
    for (const auto& request : requests)
        count += request.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

TEST(SelfUpdateRoundTrip, UpdatedLauncherRestartsItselfAndLaunchesTheApp)
{
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under Xvfb";
    const auto standin = build_file("tests/standin/solvanter-standin-app");
    const auto makeAppZip = juce::File(SOLVANTER_SOURCE_DIR).getChildFile("tests/standin/make_app_zip.sh");
    for (const auto& needed : { launcher_binary(), script_host_binary(), standin, makeAppZip })
        ASSERT_TRUE(needed.existsAsFile()) << needed.getFullPathName();

    ScratchFolder install("roundtrip-install"), builds("roundtrip-builds"), stage("roundtrip-stage");
    FolderProcessReaper reaper(install.get());

    devbackend::DevBackend backend;
    // Other test programs use the same port for a while; wait for it rather than fail at once.
    ASSERT_TRUE(eventually([&] { return backend.start(backendPort); }, 120000))
        << "port " << backendPort << " stayed taken";
    const juce::String origin(backend.origin());

    // The installed launcher and its configuration.
    ASSERT_TRUE(copy_executable(launcher_binary(), install / "solvanter-launcher"));
    ASSERT_TRUE(copy_executable(script_host_binary(), install / "solvanter-script-host"));
    {
        juce::PropertiesFile config(install / "config.xml", juce::PropertiesFile::Options());
        config.setValue("app_api", origin);
        ASSERT_TRUE(config.save());
    }

    // The update: a copy of the launcher and the host, and a marker only the update brings.
    const auto newBuild = stage / "Solvanter Launcher";
    ASSERT_TRUE(newBuild.createDirectory());
    ASSERT_TRUE(copy_executable(launcher_binary(), newBuild.getChildFile("solvanter-launcher")));
    ASSERT_TRUE(copy_executable(script_host_binary(), newBuild.getChildFile("solvanter-script-host")));
    ASSERT_TRUE(write_file(newBuild.getChildFile("marker.txt"), "updated"));
    ASSERT_TRUE(run_tool({ "/bin/sh", "-c", "cd \"$0\" && zip -q -r -X \"$1\" \"Solvanter Launcher\"",
                           stage.get().getFullPathName(), (builds / "launcher.zip").getFullPathName() }));
    ASSERT_TRUE(run_tool({ makeAppZip.getFullPathName(), standin.getFullPathName(), "1.0.0",
                           (builds / "app.zip").getFullPathName(), "lifetime_ms=4000" }));

    backend.set_builds_folder(builds.get().getFullPathName().toStdString());
    backend.set_app_version("1.0.0");
    backend.set_app_archive("app.zip");
    backend.set_launcher_update("2.9.25", "launcher.zip", 1);

    // The first launcher: updates itself and quits. Its output goes to a file, so nothing it
    // leaves running can hold a pipe of ours open.
    juce::ChildProcess first;
    ASSERT_TRUE(first.start(juce::StringArray { "/bin/sh", "-c", "exec \"$0\" --headless > \"$1\" 2>&1",
                                                (install / "solvanter-launcher").getFullPathName(),
                                                (stage / "first.log").getFullPathName() },
                            0));
    if (! first.waitForProcessToFinish(90000))
    {
        first.kill();
        FAIL() << "the launcher did not quit:\n" << file_bytes(stage / "first.log");
    }
    const auto firstLog = file_bytes(stage / "first.log");
    EXPECT_EQ(first.getExitCode(), 0u) << firstLog;
    EXPECT_NE(firstLog.find("Closing launcher for self-update"), std::string::npos) << firstLog;

    // The patcher replaces the files and restarts the launcher.
    EXPECT_TRUE(eventually([&] { return (install / "marker.txt").existsAsFile(); }, 30000));
    EXPECT_TRUE(eventually([&] { return ! (install / "Solvanter Launcher").exists(); }, 30000));
    const auto patcherOutput = file_bytes(install / "patcher.txt");
    EXPECT_NE(patcherOutput.find("starting Launcher self-update..."), std::string::npos) << patcherOutput;
    EXPECT_NE(patcherOutput.find("restart updated launcher"), std::string::npos) << patcherOutput;
    EXPECT_EQ(patcherOutput.find("Unknown command"), std::string::npos) << patcherOutput;

    // The restarted launcher checks again, is up to date, installs the application and starts it.
    const auto args = install / "Solvanter/args.txt";
    EXPECT_TRUE(eventually([&] { return args.existsAsFile(); }, 60000));
    const auto requests = backend.requests();
    EXPECT_EQ(count_starting(requests, "/launcher/Windows/check_version/launcher/"), 2);
    // Not installed yet, so the application's build is asked for straight away.
    EXPECT_EQ(count_starting(requests, "/launcher/Windows/get_build_url/app/current/Solvanter"), 1);
    EXPECT_EQ(count_starting(requests, "/builds/app.zip"), 1);
    EXPECT_NE(args.loadFileAsString().indexOf(origin), -1) << args.loadFileAsString();

    // Having found the application's window it quits by itself.
    EXPECT_TRUE(eventually([&] { return ! reaper.runs("solvanter-launcher"); }, 30000));
}
} // namespace
