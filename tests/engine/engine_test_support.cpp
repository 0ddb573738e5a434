#include "engine_test_support.h"

namespace
{
juce::File standin_binary()
{
    return juce::File(SOLVANTER_BUILD_DIR "/tests/standin/solvanter-standin-app");
}

bool no_app_window()
{
    return ! platform::top_level_window_exists("Solvanter");
}
} // namespace

void EngineTest::SetUp()
{
    ASSERT_TRUE(standin_binary().existsAsFile()) << "build the solvanter-standin-app target first";
    // Another test's application may still be leaving.
    ASSERT_TRUE(pump_until(no_app_window, 8000));
    appFolder().deleteRecursively();
    launcher_child_file("config.xml").deleteFile();

    builds = juce::File::getSpecialLocation(juce::File::tempDirectory).getNonexistentChildFile("engine-test", "");
    ASSERT_TRUE(builds.createDirectory());
    backend.set_builds_folder(builds.getFullPathName().toStdString());
    ASSERT_TRUE(backend.start());
}

void EngineTest::TearDown()
{
    if (window != nullptr)
        window->kill();
    // Launched stand-ins leave by themselves; the next test starts with no window open.
    pump_until(no_app_window, 8000);
    backend.stop();
    builds.deleteRecursively();
    appFolder().deleteRecursively();
    launcher_child_file("config.xml").deleteFile();
}

std::unique_ptr<LauncherComponent> EngineTest::make_launcher(bool skipAppUpdate, bool writeConfig)
{
    auto launcher = std::make_unique<LauncherComponent>(true, skipAppUpdate, writeConfig);
    launcher->config.launcher_api = juce::URL(backend.origin() + "/launcher/Windows");
    launcher->config.app_api = backend.origin();
    launcher->setSize(388, 78);
    return launcher;
}

bool EngineTest::run_to_end(LauncherComponent& launcher)
{
    launcher.startThread();
    const auto ended = pump_until([&] { return ! launcher.isThreadRunning(); }, 30000);
    pump(50); // the closures the worker posted last
    return ended;
}

void EngineTest::pack_app(const juce::String& version, const juce::StringArray& settings)
{
    const auto archive = builds.getChildFile("app.zip");
    juce::StringArray command { "/bin/bash", SOLVANTER_SOURCE_DIR "/tests/standin/make_app_zip.sh",
                                standin_binary().getFullPathName(), version, archive.getFullPathName() };
    command.addArray(settings);
    juce::ChildProcess zip;
    EXPECT_TRUE(zip.start(command) && zip.waitForProcessToFinish(30000) && zip.getExitCode() == 0);
}

void EngineTest::install_standin(const juce::String& version, const juce::StringArray& settings)
{
    const auto executable = launcher_executable_file("Solvanter");
    ASSERT_TRUE(appFolder().createDirectory());
    ASSERT_TRUE(standin_binary().copyFileTo(executable) && executable.setExecutePermission(true));
    ASSERT_TRUE(appFolder().getChildFile("version.txt").replaceWithText(version));
    ASSERT_TRUE(appFolder().getChildFile("standin.conf").replaceWithText(settings.joinIntoString("\n")));
}

void EngineTest::open_app_window(const juce::String& title, int lifetimeMs)
{
    // A copy of its own, so the stand-in reads this window's settings.
    const auto folder = builds.getNonexistentChildFile("window", "");
    const auto copy = folder.getChildFile("standin");
    ASSERT_TRUE(folder.createDirectory() && standin_binary().copyFileTo(copy) && copy.setExecutePermission(true));
    const auto settings = "title=" + title + "\nlifetime_ms=" + juce::String(lifetimeMs);
    ASSERT_TRUE(folder.getChildFile("standin.conf").replaceWithText(settings));

    window = std::make_unique<juce::ChildProcess>();
    ASSERT_TRUE(window->start(copy.getFullPathName(), 0));
    ASSERT_TRUE(pump_until([&] { return platform::top_level_window_exists(title); }, 5000));
}

bool EngineTest::requested(const std::string& prefix) const
{
    for (const auto& request : backend.requests())
        if (request.rfind(prefix, 0) == 0)
            return true;
    return false;
}
