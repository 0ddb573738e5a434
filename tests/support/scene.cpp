#include "support/scene.h"

#include <algorithm>

#include "platform/platform.h"

std::string file_bytes(const juce::File& file)
{
    juce::MemoryBlock data;
    file.loadFileAsData(data);
    return data.getSize() == 0 ? std::string() : std::string((const char*) data.getData(), data.getSize());
}

bool write_file(const juce::File& file, const std::string& bytes)
{
    return file.getParentDirectory().createDirectory() && file.replaceWithData(bytes.data(), bytes.size());
}

bool copy_executable(const juce::File& from, const juce::File& to)
{
    return from.copyFileTo(to) && to.setExecutePermission(true);
}

int count_starting(const std::vector<std::string>& strings, const std::string& prefix)
{
    return (int) std::count_if(strings.begin(), strings.end(), [&](const auto& s) { return s.rfind(prefix, 0) == 0; });
}

std::string zip_of(const std::vector<ZipEntry>& entries)
{
    juce::ZipFile::Builder builder;
    for (const auto& e : entries)
        builder.addEntry(new juce::MemoryInputStream(e.bytes.data(), e.bytes.size(), true), e.compression, e.name,
                         juce::Time::getCurrentTime());
    juce::MemoryOutputStream out;
    builder.writeToStream(out, nullptr);
    std::string zip((const char*) out.getData(), out.getDataSize());

    // The builder records no file modes: write them into the central directory, which the end
    // record (the last 22 bytes) locates.
    const auto u16 = [&](size_t at) { return (size_t) (juce::uint8) zip[at] | (size_t) (juce::uint8) zip[at + 1] << 8; };
    auto at = u16(zip.size() - 6) | u16(zip.size() - 4) << 16;
    for (const auto& e : entries)
    {
        for (int i = 0; i < 4; ++i)
            zip[at + 38 + (size_t) i] = (char) ((e.mode << 16) >> (8 * i));
        at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
    }
    return zip;
}

std::string app_zip(const juce::String& version, const juce::StringArray& settings)
{
    return zip_of({ { "Solvanter/Solvanter.exe", file_bytes(standin_binary()), 0100755 },
                    { "Solvanter/version.txt", version.toStdString() },
                    { "Solvanter/standin.conf", settings.joinIntoString("\n").toStdString() } });
}

namespace
{
bool no_app_window() { return ! platform::top_level_window_exists("Solvanter"); }

void clean_launcher_folder()
{
    for (auto name : { "Solvanter", "config.xml", "Solvanter Launcher", "patcher.bat", "patcher.vbs", "patcher.txt",
                       "stray-entry.txt", "solvanter-script-host" })
        launcher_child_file(name).deleteRecursively();
}
} // namespace

void EngineTest::SetUp()
{
    ASSERT_TRUE(standin_binary().existsAsFile()) << "build the solvanter-standin-app target first";
    // Another test's application may still be leaving.
    ASSERT_TRUE(wait_until(no_app_window, 8000));
    clean_launcher_folder();
    ASSERT_TRUE(backend.start());
}

void EngineTest::TearDown()
{
    if (window != nullptr)
        window->kill();
    // Launched stand-ins leave by themselves; the next test starts with no window open.
    wait_until(no_app_window, 8000);
    backend.stop();
    // A script host left beside the test program would let a later hand-over restart it.
    clean_launcher_folder();
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
    const auto ended = wait_until([&] { return ! launcher.isThreadRunning(); }, 30000);
    pump(50); // the closures the worker posted last
    return ended;
}

void EngineTest::pack_app(const juce::String& version, const juce::StringArray& settings)
{
    backend.script("/builds/app.zip", devbackend::Reply::file(app_zip(version, settings)), false);
}

void EngineTest::install_standin(const juce::String& version, const juce::StringArray& settings)
{
    const auto executable = launcher_executable_file("Solvanter");
    ASSERT_TRUE(appFolder().createDirectory() && copy_executable(standin_binary(), executable));
    ASSERT_TRUE(appFolder().getChildFile("version.txt").replaceWithText(version));
    ASSERT_TRUE(appFolder().getChildFile("standin.conf").replaceWithText(settings.joinIntoString("\n")));
}

void EngineTest::open_app_window(int lifetimeMs)
{
    // A copy of its own, so the stand-in reads this window's settings.
    const auto copy = scratch / "window/standin";
    ASSERT_TRUE(copy.getParentDirectory().createDirectory() && copy_executable(standin_binary(), copy));
    ASSERT_TRUE(write_file(scratch / "window/standin.conf", "title=Solvanter\nlifetime_ms=" + std::to_string(lifetimeMs)));
    window = std::make_unique<juce::ChildProcess>();
    ASSERT_TRUE(window->start(copy.getFullPathName(), 0));
    ASSERT_TRUE(wait_until([] { return ! no_app_window(); }, 5000));
}
