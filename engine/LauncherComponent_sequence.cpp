// The worker's sequence: working directory, backend wait, launcher update, app update, launch.
#include "engine/LauncherComponent.h"

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

    const auto showFailure = [this](const char* what)
    {
        update_state("Something went wrong with " + juce::String(what) + ".\nPlease try again or visit "
                         + build_info::support_host(),
                     true, true, utils::Level::error);
        if (onSequenceFailed)
            onSequenceFailed();
    };

    // A stop request ends the sequence quietly, whatever the step returned.
    const auto ended = [this, &showFailure](bool succeeded, const char* what)
    {
        if (threadShouldExit())
            return true;
        if (! succeeded)
            showFailure(what);
        return ! succeeded;
    };

    set_working_directory();
    clean_up_interrupted_installs();

    if (! check_api_connection())
        return;

    if (ended(update_launcher(), "updating the launcher") || ended(update_app(), "updating the app"))
        return;

    // A launch stopped during its window checks still counts as done.
    if (! launch_app())
    {
        if (! threadShouldExit())
            showFailure("launching the app");
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
