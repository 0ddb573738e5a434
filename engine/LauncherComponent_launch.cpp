// Starting the application and waiting for its window.
#include "engine/LauncherComponent.h"

#include "platform/platform.h"
#include "services/log.h"
#include "services/log_text.h"

namespace
{
constexpr int windowChecks = 20;
constexpr int checkIntervalMs = 500;
} // namespace

bool LauncherComponent::launch_app()
{
    update_state("Launching " + config.app_branch, true, false, utils::Level::info);

    const auto found = find_app_build(true);
    if (found.failed())
    {
        log_error(found.getErrorMessage());
        return false;
    }

    const auto executable = launcher_executable_file(config.app_executable);

    if (! wait_for_app_closed())
        return false;

    juce::StringArray command;
    command.add(executable.getFullPathName());
    command.addArray(config.app_arguments());

    if (threadShouldExit())
    {
        log_info("Cancelled");
        return true;
    }

    juce::ChildProcess process;
    if (! platform::start_program(process, command))
        log_error("App launch command failed: " + shown_in_log(command.joinIntoString(" ")));

    wait(checkIntervalMs);

    if (! process.isRunning())
    {
        log_error("Failed to launch app, exit code " + juce::String(process.getExitCode()) + ":");
        // Each line of the application's output in a log line of its own, so that none passes
        // for one of the launcher's.
        const auto output = process.readAllProcessOutput().trim();
        if (output.isNotEmpty())
            for (const auto& line : juce::StringArray::fromLines(output))
                log_error(shown_in_log(line));
        return false;
    }

    for (int i = 0; i < windowChecks; ++i)
    {
        if (is_app_running(config.app_executable))
        {
            if (i == 0)
                log_info("App process found");
            else
                log_info("App process found after " + juce::String(i * checkIntervalMs / 1000.0, 1) + " seconds");
            return true;
        }

        if (threadShouldExit())
        {
            log_info("Cancelled");
            return true;
        }

        wait(checkIntervalMs);
    }

    log_error("App process not found after " + juce::String(windowChecks * checkIntervalMs / 1000) + " seconds");
    return false;
}
