#include "engine_test_support.h"

void LogCollector::logMessage(const juce::String& message)
{
    const juce::ScopedLock sl(lock);
    received.add(message);
}

juce::StringArray LogCollector::lines() const
{
    const juce::ScopedLock sl(lock);
    juce::StringArray result;
    for (const auto& line : received)
    {
        const auto stamped = line.length() >= 9 && line[2] == ':' && line[5] == ':' && line[8] == ' ';
        result.add(stamped ? line.substring(9) : line);
    }
    return result;
}

bool LogCollector::has_starting(const juce::String& prefix) const
{
    for (const auto& line : lines())
        if (line.startsWith(prefix))
            return true;
    return false;
}

int LogCollector::count(const juce::String& line) const
{
    int n = 0;
    for (const auto& l : lines())
        n += l == line ? 1 : 0;
    return n;
}

juce::File EngineTest::standinBinary()
{
    return juce::File(SOLVANTER_BUILD_DIR "/tests/standin/solvanter-standin-app");
}

void EngineTest::SetUp()
{
    log = std::make_unique<LogCollector>();
    ASSERT_TRUE(standinBinary().existsAsFile()) << "build the solvanter-standin-app target first";

    // Another test's application may still be leaving.
    ASSERT_TRUE(pump_until([] { return ! platform::top_level_window_exists("Solvanter"); }, 8000));

    appFolder().deleteRecursively();
    launcher_child_file("config.xml").deleteFile();

    scratch = juce::File::getSpecialLocation(juce::File::tempDirectory).getNonexistentChildFile("engine-test", "");
    builds = scratch.getChildFile("builds");
    ASSERT_TRUE(builds.createDirectory());
    backend.set_builds_folder(builds.getFullPathName().toStdString());
    ASSERT_TRUE(backend.start());
}

void EngineTest::TearDown()
{
    // Launched stand-ins leave by themselves; wait so the next test starts with no window open.
    pump_until([] { return ! platform::top_level_window_exists("Solvanter"); }, 8000);
    backend.stop();
    scratch.deleteRecursively();
    appFolder().deleteRecursively();
    launcher_child_file("config.xml").deleteFile();
    log.reset();
}

std::unique_ptr<LauncherComponent> EngineTest::make_launcher(bool skipAppUpdate, bool writeConfig)
{
    auto launcher = std::make_unique<LauncherComponent>(true, skipAppUpdate, writeConfig);
    launcher->config.launcher_api = juce::URL(juce::String(backend.origin()) + "/launcher/Windows");
    launcher->config.app_api = backend.origin();
    launcher->setSize(388, 78);
    return launcher;
}

bool pump_until(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! done())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
    }
    return true;
}

void pump(int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(ms);
}

bool EngineTest::run_to_end(LauncherComponent& launcher, int timeoutMs)
{
    launcher.startThread();
    const auto ended = pump_until([&] { return ! launcher.isThreadRunning(); }, timeoutMs);
    pump(50); // the closures the worker posted last
    return ended;
}

juce::File EngineTest::pack_app(const juce::String& version, const juce::StringArray& settings,
                                const juce::String& fileName)
{
    const auto archive = builds.getChildFile(fileName);
    juce::StringArray command { "/bin/bash", SOLVANTER_SOURCE_DIR "/tests/standin/make_app_zip.sh",
                                standinBinary().getFullPathName(), version, archive.getFullPathName() };
    command.addArray(settings);

    juce::ChildProcess zip;
    EXPECT_TRUE(zip.start(command));
    EXPECT_TRUE(zip.waitForProcessToFinish(30000));
    EXPECT_EQ(zip.getExitCode(), 0u);
    return archive;
}

void EngineTest::install_standin(const juce::String& version, const juce::StringArray& settings)
{
    const auto executable = launcher_executable_file("Solvanter");
    ASSERT_TRUE(appFolder().createDirectory());
    ASSERT_TRUE(standinBinary().copyFileTo(executable));
    ASSERT_TRUE(executable.setExecutePermission(true));
    ASSERT_TRUE(appFolder().getChildFile("version.txt").replaceWithText(version));
    if (! settings.isEmpty())
    {
        ASSERT_TRUE(appFolder().getChildFile("standin.conf").replaceWithText(settings.joinIntoString("\n")));
    }
}

std::unique_ptr<juce::ChildProcess> EngineTest::open_app_window(const juce::String& title)
{
    // A copy of its own, so the stand-in reads this window's settings.
    const auto folder = scratch.getNonexistentChildFile("window", "");
    folder.createDirectory();
    const auto copy = folder.getChildFile("standin");
    standinBinary().copyFileTo(copy);
    copy.setExecutePermission(true);
    folder.getChildFile("standin.conf").replaceWithText("title=" + title + "\nlifetime_ms=20000\n");

    auto process = std::make_unique<juce::ChildProcess>();
    EXPECT_TRUE(process->start(copy.getFullPathName(), 0));
    EXPECT_TRUE(pump_until([&] { return platform::top_level_window_exists(title); }, 5000));
    return process;
}
