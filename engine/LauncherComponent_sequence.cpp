// The worker's sequence: working directory, backend wait, launcher update, app update, launch.
#include "engine/LauncherComponent.h"

#include <cstring>

#include "services/api.h"
#include "services/build_info.h"
#include "services/log.h"
#include "services/log_text.h"

namespace
{
// Requests that the worker opens answer to the component's canceller while the sequence runs.
struct CancellerScope
{
    explicit CancellerScope(RequestCanceller& canceller)
    {
        RequestCanceller::install_for_current_thread(&canceller);
    }
    ~CancellerScope() { RequestCanceller::install_for_current_thread(nullptr); }
    JUCE_DECLARE_NON_COPYABLE(CancellerScope)
};
} // namespace

void LauncherComponent::run()
{
    const CancellerScope cancellerScope(requestCanceller);

    // Whatever escapes a step (a failed allocation above all) would end the thread without a word
    // and leave the process up for good: it ends the sequence as a failed step does. Everything the
    // step held is freed by then, so the error can be shown.
    const char* step = "starting the launcher";
    try
    {
        run_sequence(step);
    }
    catch (const std::bad_alloc&)
    {
        sequence_broke_off(step, "Out of memory while ", nullptr);
    }
    catch (const std::exception& e)
    {
        sequence_broke_off(step, "Failed while ", e.what());
    }
    catch (...)
    {
        sequence_broke_off(step, "Failed while ", nullptr);
    }
}

void LauncherComponent::show_failure(const char* what)
{
    update_state("Something went wrong with " + juce::String(what) + ".\nPlease try again or visit "
                     + build_info::support_host(),
                 true, true, utils::Level::error);
    if (onSequenceFailed)
        onSequenceFailed();
}

void LauncherComponent::sequence_broke_off(const char* step, const char* line, const char* why) noexcept
{
    try
    {
        log_error(line + juce::String(step) + (why != nullptr ? ": " + shown_in_log(why, std::strlen(why)) : juce::String()));
        if (! threadShouldExit())
            show_failure(step);
        return;
    }
    catch (...)
    {
    }
    // Not even the error could be shown: the run ends as a failure all the same.
    try
    {
        if (! threadShouldExit() && onSequenceFailed)
            onSequenceFailed();
    }
    catch (...)
    {
    }
}

void LauncherComponent::run_sequence(const char*& step)
{
    // A stop request ends the sequence quietly, whatever the step returned.
    const auto ended = [this](bool succeeded, const char* what)
    {
        if (threadShouldExit())
            return true;
        if (! succeeded)
            show_failure(what);
        return ! succeeded;
    };

    set_working_directory();
    clean_up_interrupted_installs();

    step = "checking the Solvanter API connection";
    if (! check_api_connection())
        return;

    step = "updating the launcher";
    if (ended(update_launcher(), step))
        return;
    step = "updating the app";
    if (ended(update_app(), step))
        return;

    // A launch stopped during its window checks still counts as done.
    step = "launching the app";
    if (! launch_app())
    {
        if (! threadShouldExit())
            show_failure(step);
        return;
    }

    if (writeConfig)
        config.save_config();

    if (auto* app = juce::JUCEApplicationBase::getInstance())
        app->systemRequestedQuit();
}

bool LauncherComponent::check_api_connection()
{
    update_state("Checking Solvanter API connection", true, false, utils::Level::info);

    if (check_api_status(config.app_api))
        return true;

    if (request_was_cancelled())
        return false;

    log_error("Could not reach Solvanter API, waiting for network connection");
    update_state("Solvanter servers could not be reached.\nCheck your internet connection or try again later...",
                 false, true, utils::Level::warning);
    start_spinner();

    while (! check_api_status(config.app_api))
    {
        for (int i = 0; i < 4; ++i)
        {
            if (threadShouldExit())
            {
                log_info("Cancelled");
                return false;
            }
            wait(500);
        }
    }

    animating = false;
    return true;
}

bool LauncherComponent::request_was_cancelled()
{
    // The component is going away: the launcher quits, and a request that ended that way is not
    // the backend's failure.
    if (! requestCanceller.is_cancelled())
        return false;

    log_info("Cancelled");
    return true;
}

bool set_working_directory()
{
    if (launcher_directory().setAsCurrentWorkingDirectory())
        log_info("Working dir: " + shown_in_log(juce::File::getCurrentWorkingDirectory().getFullPathName()).quoted());
    else
        log_error("Failed to set working directory");

    return true;
}
