#pragma once

// Shared by the engine tests: a fixture with the dev backend, the launcher's folder (the folder of
// this test program) cleaned before each test, a logger that collects every line, and the stand-in
// application packed or installed as the launcher would find it.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "dev_backend.h"
#include "engine/LauncherComponent.h"
#include "platform/platform.h"

// Reaches the component's private steps and display parts.
struct LauncherComponentProbe
{
    LauncherComponent& c;

    bool check_app_update() { return c.check_app_update(); }
    juce::Result download_build(juce::MemoryBlock& d, const juce::String& n, const juce::URL& q) { return c.download_build(d, n, q); }
    juce::Result install_app(const juce::MemoryBlock& d) { return c.install_app(d); }
    bool launch_app() { return c.launch_app(); }
    juce::String read_installed_version() { return c.read_installed_version(); }
    juce::Result find_app_build(bool logMissing) { return c.find_app_build(logMissing); }

    juce::Label& label() { return c.stateLabel; }
    juce::ProgressBar& bar() { return c.progressBar; }
    int& pointCount() { return c.spinnerPointCount; }
    int& step() { return c.spinnerStep; }
};

class LogCollector : public juce::Logger
{
public:
    LogCollector() { juce::Logger::setCurrentLogger(this); }
    ~LogCollector() override { juce::Logger::setCurrentLogger(nullptr); }

    void logMessage(const juce::String& message) override;
    // Lines without their "HH:MM:SS " time stamp.
    juce::StringArray lines() const;
    bool has(const juce::String& line) const { return lines().contains(line); }
    bool has_starting(const juce::String& prefix) const;
    int count(const juce::String& line) const;

private:
    juce::CriticalSection lock;
    juce::StringArray received;
};

// Pumps the message loop until `done` holds or the time is up.
bool pump_until(const std::function<bool()>& done, int timeoutMs);
void pump(int ms);

class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A launcher wired to the dev backend; its worker is not started.
    std::unique_ptr<LauncherComponent> make_launcher(bool skipAppUpdate = false, bool writeConfig = false);
    // Starts the worker and pumps until it has ended.
    bool run_to_end(LauncherComponent& launcher, int timeoutMs = 30000);

    // Writes builds/app.zip (or another name) holding the stand-in with this version.
    juce::File pack_app(const juce::String& version, const juce::StringArray& settings = {},
                        const juce::String& fileName = "app.zip");
    // Puts the stand-in into the application folder as an installed application.
    void install_standin(const juce::String& version, const juce::StringArray& settings = {});
    // A stand-in started by the test itself, showing a window titled `title`.
    std::unique_ptr<juce::ChildProcess> open_app_window(const juce::String& title = "Solvanter");

    static juce::File appFolder() { return launcher_child_file("Solvanter"); }
    static juce::File standinBinary();
    // Whether any of the sequence's failure texts was shown (and so logged).
    bool failure_shown() const { return log->has_starting("[STATE]: Something went wrong"); }

    devbackend::DevBackend backend;
    juce::File builds;
    juce::File scratch;
    std::unique_ptr<LogCollector> log;
};

// Settings for a launched stand-in that leaves by itself soon after its window was found.
inline const juce::StringArray shortLivedApp { "lifetime_ms=2000" };
