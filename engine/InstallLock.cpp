#include "engine/InstallLock.h"

#include "engine/LauncherComponent.h"
#include "platform/platform.h"
#include "services/log.h"
#include "services/log_text.h"

InstallLock::~InstallLock()
{
    if (held)
        platform::release_file_lock(handle);
}

juce::File InstallLock::file()
{
    return launcher_child_file("install.lock");
}

juce::Result InstallLock::enter(const std::function<bool()>& stopRequested)
{
    for (bool waiting = false;; waiting = true)
    {
        const auto outcome = platform::try_lock_file(file(), handle);
        if (outcome == platform::FileLockOutcome::taken)
        {
            held = true;
            return juce::Result::ok();
        }
        // Installing unlocked could let another launcher remove this one's files while it unzips.
        if (outcome == platform::FileLockOutcome::impossible)
            return juce::Result::fail("Failed to take the install lock " + shown_in_log(file().getFullPathName()).quoted()
                                      + ": nothing installed");

        if (! waiting)
            log_info("Waiting for another launcher to finish installing");
        if (stopRequested())
            return juce::Result::fail("Cancelled");
        // On the worker's own event, so that a stop request ends the wait at once.
        if (auto* thread = juce::Thread::getCurrentThread())
            thread->wait(500);
        else
            juce::Thread::sleep(500);
    }
}

bool InstallLock::try_enter()
{
    held = platform::try_lock_file(file(), handle) == platform::FileLockOutcome::taken;
    return held;
}
