// The launcher's self-update steps against the in-process dev backend. This test program's folder
// is the launcher's folder, so the new build is unzipped beside it.
#include "patcher_test_support.h"

#include "dev_backend.h"
#include "engine/LauncherComponent.h"
#include "services/build_info.h"

#include <thread>

// Reaches the component's private self-update steps.
struct LauncherComponentProbe
{
    LauncherComponent& c;

    bool update_launcher() { return c.update_launcher(); }
    bool check_launcher_update() { return c.check_launcher_update(); }
};

namespace
{
const std::string checkPath = std::string("/launcher/Windows/check_version/launcher/current/")
                              + build_info::launcher_name + "/" + build_info::build_name;

std::string make_zip(const std::vector<std::pair<juce::String, std::string>>& entries, int compression = 9)
{
    juce::ZipFile::Builder builder;
    for (const auto& [name, bytes] : entries)
        builder.addEntry(new juce::MemoryInputStream(bytes.data(), bytes.size(), true), compression, name,
                         juce::Time::getCurrentTime());
    juce::MemoryOutputStream out;
    builder.writeToStream(out, nullptr);
    return std::string(static_cast<const char*>(out.getData()), out.getDataSize());
}

class SelfUpdate : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clean();
        ASSERT_TRUE(backend.start());
    }

    void TearDown() override
    {
        launcher.reset();
        backend.stop();
        clean();
    }

    // Also removes a script host copied beside this program: left there, a later hand-over would run
    // the real batch file in this folder and restart the tests.
    void clean()
    {
        for (auto name : { "Solvanter Launcher", "patcher.bat", "patcher.vbs", "patcher.txt", "stray-entry.txt",
                           "solvanter-script-host" })
            folder.getChildFile(name).deleteRecursively();
    }

    LauncherComponent& make_launcher(bool skipUpdate = false)
    {
        launcher = std::make_unique<LauncherComponent>(skipUpdate, false, false);
        launcher->config.launcher_api = juce::URL(juce::String(backend.origin()) + "/launcher/Windows");
        return *launcher;
    }

    void offer_update(const std::string& archive)
    {
        backend.set_launcher_update("2.9.25", "launcher.zip", 1);
        backend.script("/builds/launcher.zip", devbackend::Reply::file(archive));
    }

    int requests_starting(const std::string& prefix) const
    {
        int count = 0;
        for (const auto& request : backend.requests())
            count += request.rfind(prefix, 0) == 0 ? 1 : 0;
        return count;
    }

    const juce::File folder = juce::File::getSpecialLocation(juce::File::hostApplicationPath).getParentDirectory();
    const juce::File newBuild = folder.getChildFile("Solvanter Launcher");
    devbackend::DevBackend backend;
    std::unique_ptr<LauncherComponent> launcher;
    LineCollector log;
};

TEST_F(SelfUpdate, SkipUpdateMakesNoRequest)
{
    LauncherComponentProbe probe { make_launcher(true) };
    backend.set_launcher_update("2.9.25", "launcher.zip", 1);

    EXPECT_TRUE(probe.update_launcher());

    EXPECT_TRUE(log.has("[INFO]: Skipping self-update"));
    EXPECT_FALSE(log.has_starting("[STATE]:"));
    EXPECT_TRUE(backend.requests().empty());
}

TEST_F(SelfUpdate, ReplyWithoutBothKeysIsAFailedQueryAndNoUpdate)
{
    LauncherComponentProbe probe { make_launcher() };

    backend.script(checkPath, devbackend::Reply::json(R"({"result":true})"));
    EXPECT_TRUE(probe.update_launcher());
    EXPECT_TRUE(log.has("[ERROR]: Launcher version query failed"));
    EXPECT_TRUE(log.has("[STATE]: Checking launcher update to current"));

    backend.script(checkPath, devbackend::Reply::json(R"({"remote_version":"2.9.25"})"));
    EXPECT_FALSE(probe.check_launcher_update());

    backend.script(checkPath, devbackend::Reply::json("not json at all"));
    EXPECT_FALSE(probe.check_launcher_update());

    backend.stop();
    EXPECT_FALSE(probe.check_launcher_update());

    int failures = 0;
    for (const auto& line : log.lines())
        failures += line == "[ERROR]: Launcher version query failed" ? 1 : 0;
    EXPECT_EQ(failures, 4);
    EXPECT_TRUE(launcher->launcherUpdateVersion.isEmpty());
    EXPECT_FALSE(log.has_starting("[STATE]: Updating launcher"));
}

TEST_F(SelfUpdate, UpToDateOrWithoutRemoteVersionThereIsNothingToDo)
{
    LauncherComponentProbe probe { make_launcher() };

    backend.script(checkPath, devbackend::Reply::json(R"({"result":true,"remote_version":"2.9.24"})"));
    EXPECT_TRUE(probe.update_launcher());
    EXPECT_TRUE(log.has("[INFO]: Launcher is up to date"));

    backend.script(checkPath, devbackend::Reply::json(R"({"result":false,"remote_version":"   "})"));
    EXPECT_TRUE(probe.update_launcher());
    EXPECT_TRUE(log.has("[INFO]: No remote version available for launcher"));

    EXPECT_TRUE(launcher->launcherUpdateVersion.isEmpty());
    EXPECT_EQ(requests_starting("/launcher/Windows/get_build_url/"), 0);
}

TEST_F(SelfUpdate, FoundVersionIsKeptAndNotAskedForAgain)
{
    auto& component = make_launcher();
    component.config.launcher_build = BuildType::latest;
    LauncherComponentProbe probe { component };
    backend.set_launcher_update(" 2.9.25 ", "launcher.zip", 1);

    EXPECT_TRUE(probe.check_launcher_update());
    EXPECT_EQ(component.launcherUpdateVersion, "2.9.25");
    EXPECT_EQ(requests_starting("/launcher/Windows/check_version/launcher/latest/"), 1);

    const auto lines = log.lines();
    const auto checking = lines.indexOf("[STATE]: Checking launcher update to latest");
    const auto available = lines.indexOf("[STATE]: Launcher update available");
    const auto updateTo = lines.indexOf("[INFO]: Update to latest: \"2.9.25\"");
    EXPECT_GE(checking, 0);
    EXPECT_GT(available, checking);
    EXPECT_GT(updateTo, available);

    EXPECT_TRUE(probe.check_launcher_update());
    EXPECT_TRUE(log.has("[INFO]: Already got launcher update version"));
    EXPECT_EQ(requests_starting("/launcher/Windows/check_version/"), 1);
}

TEST_F(SelfUpdate, StopRequestEndsTheCheckQuietly)
{
    auto& component = make_launcher();
    LauncherComponentProbe probe { component };
    backend.set_launcher_update("2.9.25", "launcher.zip", 1);

    // Asked to stop while the reply is on its way: a reply with both keys ends without a line.
    backend.script(checkPath, devbackend::Reply::json(R"({"result":false,"remote_version":"2.9.25"})").with_delay(800));
    std::thread stopper([&] {
        backend.wait_for_request(checkPath, 5000);
        component.signalThreadShouldExit();
    });
    EXPECT_FALSE(probe.check_launcher_update());
    stopper.join();
    EXPECT_FALSE(log.has_starting("[INFO]: Update to"));
    EXPECT_FALSE(log.has("[ERROR]: Launcher version query failed"));
    EXPECT_TRUE(component.launcherUpdateVersion.isEmpty());

    // A stop seen at the start makes no request at all; the step itself still returns true.
    backend.clear_requests();
    EXPECT_TRUE(probe.update_launcher());
    EXPECT_TRUE(backend.requests().empty());
}

TEST_F(SelfUpdate, StopDuringCheckStillReportsAReplyMissingAKey)
{
    auto& component = make_launcher();
    LauncherComponentProbe probe { component };
    backend.script(checkPath, devbackend::Reply::json(R"({"result":false})").with_delay(800));
    std::thread stopper([&] {
        backend.wait_for_request(checkPath, 5000);
        component.signalThreadShouldExit();
    });
    EXPECT_FALSE(probe.check_launcher_update());
    stopper.join();
    EXPECT_TRUE(log.has("[ERROR]: Launcher version query failed"));
}

TEST_F(SelfUpdate, ArchiveWithoutTheBuildFolderFailsAndLeavesItsEntries)
{
    LauncherComponentProbe probe { make_launcher() };
    offer_update(make_zip({ { "stray-entry.txt", "not in a folder" } }));

    EXPECT_FALSE(probe.update_launcher());

    EXPECT_TRUE(log.has("[STATE]: Launcher update available"));
    EXPECT_TRUE(log.has("[STATE]: Updating launcher"));
    EXPECT_TRUE(log.has("[INFO]: Unzipping launcher build to: " + newBuild.getFullPathName().quoted()));
    EXPECT_TRUE(log.has("[ERROR]: Launcher build not found"));
    EXPECT_EQ(file_bytes(folder.getChildFile("stray-entry.txt")), "not in a folder");
    EXPECT_FALSE(folder.getChildFile("patcher.bat").exists());
    EXPECT_FALSE(launcher->threadShouldExit());
}

TEST_F(SelfUpdate, FailedDownloadIsLoggedAndNothingIsUnzipped)
{
    LauncherComponentProbe probe { make_launcher() };
    backend.set_launcher_update("2.9.25", "launcher.zip", 1);
    backend.script("/builds/launcher.zip", devbackend::Reply::message(404, "gone"));

    EXPECT_FALSE(probe.update_launcher());

    EXPECT_TRUE(log.has("[ERROR]: Download failed with status code: 404"));
    EXPECT_FALSE(log.has_starting("[INFO]: Unzipping launcher build to: "));
    EXPECT_FALSE(newBuild.exists());
}

TEST_F(SelfUpdate, HandOverNeedsTheScriptHost)
{
    // A stored archive padded to exactly 1.5 MB.
    const std::string name = "Solvanter Launcher/solvanter-launcher";
    std::string payload(1000, 'x');
    auto archive = make_zip({ { name, payload } }, 0);
    payload.resize(payload.size() + (1572864 - archive.size()), 'x');
    archive = make_zip({ { name, payload } }, 0);
    ASSERT_EQ(archive.size(), 1572864u);

    LauncherComponentProbe probe { make_launcher() };
    offer_update(archive);

    EXPECT_FALSE(probe.update_launcher());

    EXPECT_TRUE(log.has("[INFO]: Zip data size: 1.50 MB"));
    EXPECT_TRUE(log.has("[INFO]: Generating patcher script"));
    EXPECT_TRUE(log.has("[INFO]: Running patcher script"));
    EXPECT_TRUE(log.has("[ERROR]: Failed to start patcher script"));
    EXPECT_FALSE(log.has("[INFO]: Closing launcher for self-update"));
    EXPECT_FALSE(launcher->threadShouldExit());

    // What was written stays for the next attempt.
    EXPECT_EQ(file_bytes(newBuild.getChildFile("solvanter-launcher")), payload);
    EXPECT_TRUE(folder.getChildFile("patcher.bat").existsAsFile());
    EXPECT_TRUE(folder.getChildFile("patcher.vbs").existsAsFile());
}

TEST_F(SelfUpdate, HandOverStartsThePatcherAndStopsTheWorker)
{
    ASSERT_TRUE(copy_script_host_to(folder));

    // The host runs the batch file of the working directory; here a harmless one, not the one
    // that would restart this program.
    ScratchFolder work;
    ASSERT_TRUE(write_file(work / "patcher.bat", ">patcher.txt 2>&1 (\r\necho handed over\r\n)"));
    WorkingDirectory cwd(work.get());
    ASSERT_TRUE(cwd.ok());

    auto& component = make_launcher();
    LauncherComponentProbe probe { component };
    offer_update(make_zip({ { "Solvanter Launcher/solvanter-launcher", "new launcher" },
                            { "Solvanter Launcher/lib/extra.so", "extra" } }));

    EXPECT_TRUE(probe.update_launcher());

    EXPECT_TRUE(log.has("[INFO]: Closing launcher for self-update"));
    EXPECT_TRUE(component.threadShouldExit());
    EXPECT_EQ(file_bytes(newBuild.getChildFile("lib/extra.so")), "extra");
    EXPECT_TRUE(eventually([&] { return file_bytes(work / "patcher.txt") == "handed over\r\n"; }, 10000));

    // The real batch file names every entry of the new build.
    const auto batch = file_bytes(folder.getChildFile("patcher.bat"));
    EXPECT_NE(batch.find("move /y \"Solvanter Launcher\\solvanter-launcher\" \"solvanter-launcher\"\r\n"), std::string::npos);
    EXPECT_NE(batch.find("move /y \"Solvanter Launcher\\lib\" \"lib\"\r\n"), std::string::npos);
}

} // namespace
