#pragma once

// The engine tests' scene: the dev backend, the launcher's folder (the folder of this test program)
// cleaned around each test, every log line collected, and the stand-in as the application.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "dev_backend.h"
#include "engine/LauncherComponent.h"
#include "platform/platform.h"
#include "support/captured_log.h"

// Reaches the component's private steps and display parts.
struct LauncherComponentProbe
{
    LauncherComponent& c;

    juce::Result download_app(juce::MemoryBlock& d)
    {
        return c.download_build(d, "Solvanter", c.config.app_download_url());
    }
    juce::Result install_app(const juce::MemoryBlock& d) { return c.install_app(d); }
    juce::int64& archiveCeiling() { return c.archiveCeiling; }
    juce::Label& label() { return c.stateLabel; }
    juce::ProgressBar& bar() { return c.progressBar; }
    int& pointCount() { return c.spinnerPointCount; }
};

inline void pump(int ms) { juce::MessageManager::getInstance()->runDispatchLoopUntil(ms); }

// Pumps the message loop until `done` holds or the time is up.
inline bool pump_until(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! done())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;
        pump(10);
    }
    return true;
}

// A launched stand-in that leaves by itself soon after its window was found.
inline const juce::StringArray shortLivedApp { "lifetime_ms=2000" };

struct EngineTest : public ::testing::Test
{
    void SetUp() override;
    void TearDown() override;

    // Wired to the dev backend; its worker is not started.
    std::unique_ptr<LauncherComponent> make_launcher(bool skipAppUpdate = false, bool writeConfig = false);
    // Starts the worker and pumps until it has ended.
    bool run_to_end(LauncherComponent& launcher);
    // builds/app.zip holding the stand-in with this version.
    void pack_app(const juce::String& version, const juce::StringArray& settings = {});
    void install_standin(const juce::String& version, const juce::StringArray& settings = {});
    // A stand-in of the test's own, showing a window titled `title` for a while.
    void open_app_window(const juce::String& title = "Solvanter", int lifetimeMs = 20000);
    bool requested(const std::string& prefix) const;
    bool failure_shown() const { return log.logged({ "[STATE]: Something went wrong*" }); }

    static juce::File appFolder() { return launcher_child_file("Solvanter"); }
    static juce::String installed_version() { return appFolder().getChildFile("version.txt").loadFileAsString(); }

    CapturedLog log;
    devbackend::DevBackend backend;
    juce::File builds; // served by the backend under /builds/
    std::unique_ptr<juce::ChildProcess> window;
};
