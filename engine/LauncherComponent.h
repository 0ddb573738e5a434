#pragma once

#include <atomic>
#include <functional>

#include <juce_gui_basics/juce_gui_basics.h>
#include <juce_gui_extra/juce_gui_extra.h>

#include "engine/StagedBuild.h"
#include "services/config.h"
#include "services/request_cancel.h"

namespace utils
{
// The level of a state text, and so its colour.
enum class Level
{
    info = 0,
    warning = 1,
    error = 2
};
} // namespace utils

// The engine: a small display (state text, spinner, progress bar) and the worker thread that
// checks, updates and launches the application.
//
// Threads: construction, destruction, painting, layout and the spinner step run on the message
// thread. `run` and every step run on the worker thread, which changes the display only through
// closures posted with juce::MessageManager::callAsync, the `progress` value and the spinner flag.
class LauncherComponent : public juce::AnimatedAppComponent,
                          public juce::Thread
{
public:
    LauncherComponent(bool skipUpdate, bool skipAppUpdate, bool writeConfig);
    // Cancels a request in flight, stops the worker and waits until it has ended.
    ~LauncherComponent() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void update() override;
    void run() override;

    // Worker thread: shows a state text in its level's colour; returns at once.
    void update_state(const juce::String& text, bool log, bool hideProgress, utils::Level level);
    // Fades the state text out (kept for callers; nothing in the launcher uses it).
    void clear_state(int milliseconds);

    Config config;
    bool skipAppUpdate;
    bool skipUpdate;
    juce::String expectedAppVersion;
    juce::String launcherUpdateVersion;

private:
    friend struct LauncherComponentProbe;

    // Every step below runs on the worker thread.

    // state display
    void cancel_state_animation();
    // Sets `animating` and has the message thread start the 16 ms animation timer.
    void start_spinner();
    // Any thread: runs `change` later on the message thread, unless the component is gone by then.
    void post_display_change(std::function<void(LauncherComponent&)> change);

    // sequence
    // The steps in order; `step` names the one under way, as the failure text does.
    void run_sequence(const char*& step);
    // Shows the failure text of `what` and calls onSequenceFailed.
    void show_failure(const char* what);
    // Ends the sequence when an exception escaped `step`: the error line (`line`, the step, and
    // `why` when there is one), then the failure as a failed step shows it. Throws nothing.
    void sequence_broke_off(const char* step, const char* line, const char* why) noexcept;
    bool check_api_connection();
    // Whether the request just made was cancelled because the component is going away; logs
    // "Cancelled" when it was.
    bool request_was_cancelled();

    // application update
    bool update_app();
    bool check_app_update();

    // download
    // Downloads a build and hands it to `install`; logs the failure of either and returns false.
    bool download_and_install(const juce::String& name, const juce::URL& query,
                              juce::Result (LauncherComponent::*install)(const juce::MemoryBlock&));
    juce::Result download_build(juce::MemoryBlock& data, const juce::String& name, const juce::URL& query);
    juce::Result download_file(juce::MemoryBlock& data, const juce::URL& url, const juce::String& text);

    // install
    juce::Result install_app(const juce::MemoryBlock& data);
    // Unzips beside the build's folder (into its staging folder, see StagedBuild); mode 1: the
    // entries hold the folder itself. `directory` was read from the archive `zip` reads, for what
    // the framework does not keep of it. The caller then swaps `build` in.
    juce::Result unzip_build(juce::ZipFile& zip, const StagedBuild& build, int mode, const ZipDirectory& directory);
    // Opens the archive `data` once its directory has been read, unzips the build beside `folder`,
    // lets `check` look at the unzipped copy, then swaps it in, all under the install lock; on any
    // failure or stop the staged copy goes and `folder` stays as it was. `restoreOld`: an earlier
    // build an interrupted install set aside is put back first. `setAsideAs`: where the replaced
    // build stays when it could not be removed.
    juce::Result stage_and_swap_in(const juce::MemoryBlock& data, const juce::File& folder, bool restoreOld,
                                   const std::function<juce::Result(const juce::File& staged)>& check,
                                   const juce::String& oldStaysMessage, StagedBuild::Replaced& replaced,
                                   juce::File& setAsideAs);
    // Removes what interrupted installs left, unless another launcher is installing right now, and
    // names in one line what could not be removed.
    void clean_up_interrupted_installs();

    // launcher self-update
    bool update_launcher();
    bool check_launcher_update();
    bool download_launcher_update();
    juce::Result install_launcher_update(const juce::MemoryBlock& data);

    // launch
    bool launch_app();

    // installed application
    bool wait_for_app_closed();
    juce::String read_installed_version();
    juce::Result find_app_build(bool logMissing);

    juce::Label stateLabel;
    juce::ProgressBar progressBar;

    // Downloads larger than this fail; a fixed value, lowered only by tests.
    juce::int64 archiveCeiling = 512 * 1024 * 1024;

public:
    bool writeConfig;
    // Written by the worker, read by the progress bar (2.0 shows the busy pattern).
    double progress = 0.0;

private:
    float spinnerRadius = 12.0f;
    int spinnerPointCount = 450;
    int spinnerStep = 1;

public:
    std::atomic<bool> animating { false };
    // Worker thread: called by `run` right after it has shown a failure text. Set before the
    // thread starts; empty means nothing happens.
    std::function<void()> onSequenceFailed;

private:
    RequestCanceller requestCanceller;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(LauncherComponent)
};

// The folder of the running executable, and what lies beside it. Any thread.
juce::File launcher_directory();
juce::File launcher_child_file(const juce::String& name);
juce::File launcher_executable_file(const juce::String& name);
// Whether the main window of this application type is open. Worker thread.
bool is_app_running(const juce::String& appType);
// Makes the launcher's folder the working directory; always true.
bool set_working_directory();
