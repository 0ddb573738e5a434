#pragma once

// Shared by the engine and patcher tests: scratch files, archives, the stand-in application, and
// the launcher's folder (the folder of the test program) with the dev backend.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dev_backend.h"
#include "engine/LauncherComponent.h"
#include "support/captured_log.h"
#include "support/waiting.h"

inline juce::File build_file(const juce::String& relative) { return juce::File(SOLVANTER_BUILD_DIR).getChildFile(relative); }
inline juce::File standin_binary() { return build_file("tests/standin/solvanter-standin-app"); }
inline juce::File script_host_binary() { return build_file("bin/solvanter-script-host"); }

// A temporary folder, removed with everything in it.
struct ScratchFolder
{
    ScratchFolder() { folder.createDirectory(); }
    ~ScratchFolder() { folder.deleteRecursively(); }
    juce::File operator/(const juce::String& relative) const { return folder.getChildFile(relative); }

    const juce::File folder =
        juce::File::getSpecialLocation(juce::File::tempDirectory).getNonexistentChildFile("solvanter-test", "", false);
};

std::string file_bytes(const juce::File& file);
bool write_file(const juce::File& file, const std::string& bytes); // creates the folders above it
bool copy_executable(const juce::File& from, const juce::File& to);
int count_starting(const std::vector<std::string>& strings, const std::string& prefix);

// An archive entry; `mode` is recorded as its Unix file mode (0: none).
struct ZipEntry
{
    juce::String name;
    std::string bytes;
    unsigned mode = 0;
    int compression = 0;
};
std::string zip_of(const std::vector<ZipEntry>& entries);
// Solvanter/ holding the stand-in as its executable, version.txt and the stand-in's settings.
std::string app_zip(const juce::String& version, const juce::StringArray& settings = {});

// Reaches the component's private steps and display parts.
struct LauncherComponentProbe
{
    LauncherComponent& c;

    juce::Result download_app(juce::MemoryBlock& d) { return c.download_build(d, "Solvanter", c.config.app_download_url()); }
    juce::Result install_app(const juce::MemoryBlock& d) { return c.install_app(d); }
    bool update_launcher() { return c.update_launcher(); }
    juce::int64& archiveCeiling() { return c.archiveCeiling; }
    juce::Label& label() { return c.stateLabel; }
    juce::ProgressBar& bar() { return c.progressBar; }
    int& pointCount() { return c.spinnerPointCount; }
};

// A launched stand-in that leaves by itself soon after its window was found.
inline const juce::StringArray shortLivedApp { "lifetime_ms=2000" };

// The launcher's folder cleaned before and after each test, the dev backend running, every log
// line collected, and no application window open.
struct EngineTest : ::testing::Test
{
    void SetUp() override;
    void TearDown() override;

    // Wired to the dev backend, self-update skipped; its worker is not started.
    std::unique_ptr<LauncherComponent> make_launcher(bool skipAppUpdate = false, bool writeConfig = false);
    // Starts the worker and pumps until it has ended.
    bool run_to_end(LauncherComponent& launcher);
    // Has the backend serve app_zip() as the application's build.
    void pack_app(const juce::String& version, const juce::StringArray& settings = {});
    void install_standin(const juce::String& version, const juce::StringArray& settings = {});
    // A stand-in of the test's own showing a window titled "Solvanter" for a while.
    void open_app_window(int lifetimeMs = 20000);
    bool requested(const std::string& prefix) const { return count_starting(backend.requests(), prefix) > 0; }

    static juce::File appFolder() { return launcher_child_file("Solvanter"); }
    static juce::String installed_version() { return appFolder().getChildFile("version.txt").loadFileAsString(); }

    CapturedLog log;
    devbackend::DevBackend backend;
    ScratchFolder scratch;
    std::unique_ptr<juce::ChildProcess> window;
};
