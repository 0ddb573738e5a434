// The launcher's self-update steps against the in-process dev backend. This test program's folder
// is the launcher's folder, so the new build is unzipped beside it.
#include "support/scene.h"

#include "services/build_info.h"

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
    for (const auto& [reply, line] : { std::pair<std::string, juce::String> { R"({"result":true})", "[ERROR]: Launcher version query failed" },
                                       { R"({"remote_version":"2.9.25"})", "[ERROR]: Launcher version query failed" },
                                       { "not json at all", "[ERROR]: Launcher version query failed" },
                                       { R"({"result":true,"remote_version":"2.9.24"})", "[INFO]: Launcher is up to date" },
                                       { R"({"result":false,"remote_version":"  \t "})",
                                         "[INFO]: No remote version available for launcher" } })
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
