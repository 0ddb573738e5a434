// The launcher's self-update steps against the in-process dev backend. This test program's folder
// is the launcher's folder, so the new build is unzipped beside it.
#include "patcher_test_support.h"

#include "dev_backend.h"
#include "engine/LauncherComponent.h"
#include "services/build_info.h"

// Reaches the component's private self-update steps.
struct LauncherComponentProbe
{
    LauncherComponent& c;
    bool update_launcher() { return c.update_launcher(); }
};

namespace
{
const std::string checkPath = std::string("/launcher/Windows/check_version/launcher/current/")
                              + build_info::launcher_name + "/" + build_info::build_name;

// An archive with one stored entry.
std::string make_zip(const juce::String& name, const std::string& bytes)
{
    juce::ZipFile::Builder builder;
    builder.addEntry(new juce::MemoryInputStream(bytes.data(), bytes.size(), true), 0, name, juce::Time::getCurrentTime());
    juce::MemoryOutputStream out;
    builder.writeToStream(out, nullptr);
    return std::string(static_cast<const char*>(out.getData()), out.getDataSize());
}

class SelfUpdate : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(backend.start()); }
    void TearDown() override
    {
        launcher.reset();
        backend.stop();
        clean_test_folder();
    }

    LauncherComponent& make_launcher(bool skipUpdate = false)
    {
        launcher = std::make_unique<LauncherComponent>(skipUpdate, false, false);
        launcher->config.launcher_api = juce::URL(juce::String(backend.origin()) + "/launcher/Windows");
        log.clear();  // the constructor's own lines
        backend.clear_requests();
        return *launcher;
    }

    const juce::File folder = clean_test_folder();
    const juce::File newBuild = folder.getChildFile("Solvanter Launcher");
    devbackend::DevBackend backend;
    std::unique_ptr<LauncherComponent> launcher;
    CapturedLog log;
};

TEST_F(SelfUpdate, SkipUpdateMakesNoRequest)
{
    backend.set_launcher_update("2.9.25", "launcher.zip", 1);
    EXPECT_TRUE(LauncherComponentProbe { make_launcher(true) }.update_launcher());
    EXPECT_EQ(log.lines(), juce::StringArray { "[INFO]: Skipping self-update" });
    EXPECT_TRUE(backend.requests().empty());
}

TEST_F(SelfUpdate, RepliesThatOfferNoUpdate)
{
    LauncherComponentProbe probe { make_launcher() };
    const std::pair<std::string, juce::String> rows[] = {
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
        EXPECT_EQ(log.lines().indexOf("[STATE]: Checking launcher update to current"), 0);
        EXPECT_TRUE(log.lines().contains(line)) << log.lines().joinIntoString("\n");
        EXPECT_TRUE(launcher->launcherUpdateVersion.isEmpty());
    }
    EXPECT_EQ(count_starting(backend.requests(), checkPath), 5);
    EXPECT_EQ(count_starting(backend.requests(), "/launcher/Windows/get_build_url/"), 0);
}

TEST_F(SelfUpdate, FailedUpdatesKeepTheVersionAndWhatWasWritten)
{
    auto& component = make_launcher();
    component.config.launcher_build = BuildType::latest;
    LauncherComponentProbe probe { component };
    backend.set_launcher_update(" 2.9.25 ", "launcher.zip", 5);

    // Entries outside the build folder are refused before anything is written.
    backend.script("/builds/launcher.zip", devbackend::Reply::file(make_zip("stray-entry.txt", "not in a folder")));
    EXPECT_FALSE(probe.update_launcher());
    EXPECT_EQ(component.launcherUpdateVersion, "2.9.25");
    int previous = -1;
    for (const auto& line : juce::StringArray { "[STATE]: Checking launcher update to latest",
                                                "[STATE]: Launcher update available", "[INFO]: Update to latest: \"2.9.25\"",
                                                "[STATE]: Updating launcher",
                                                "[INFO]: Unzipping launcher build to: " + newBuild.getFullPathName().quoted(),
                                                "[ERROR]: Failed to unzip entry 0: \"stray-entry.txt\"",
                                                "[ERROR]: Entry stray-entry.txt is outside the target directory" })
    {
        EXPECT_GT(log.lines().indexOf(line), previous) << line;
        previous = log.lines().indexOf(line);
    }
    EXPECT_FALSE(folder.getChildFile("stray-entry.txt").exists());
    EXPECT_FALSE(folder.getChildFile("patcher.bat").exists());

    // Asked again, the version found is used without a request. With no script host beside this
    // program the hand-over fails after the scripts were written. The archive is exactly 1.5 MB.
    const juce::String name = "Solvanter Launcher/solvanter-launcher";
    const std::string payload(1572864 - make_zip(name, "").size(), 'x');
    const auto archive = make_zip(name, payload);
    ASSERT_EQ(archive.size(), 1572864u);
    backend.script("/builds/launcher.zip", devbackend::Reply::file(archive));
    log.clear();
    EXPECT_FALSE(probe.update_launcher());
    EXPECT_EQ(log.lines()[0], "[INFO]: Already got launcher update version");
    EXPECT_EQ(count_starting(backend.requests(), "/launcher/Windows/check_version/"), 1);
    EXPECT_TRUE(log.lines().contains("[INFO]: Zip data size: 1.50 MB"));
    EXPECT_TRUE(log.lines().contains("[ERROR]: Failed to start patcher script"));
    EXPECT_FALSE(log.lines().contains("[INFO]: Closing launcher for self-update"));
    EXPECT_FALSE(component.threadShouldExit());
    EXPECT_EQ(file_bytes(newBuild.getChildFile("solvanter-launcher")), payload);
    EXPECT_TRUE(folder.getChildFile("patcher.bat").existsAsFile() && folder.getChildFile("patcher.vbs").existsAsFile());
}
} // namespace
