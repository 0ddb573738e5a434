#pragma once

#include <cstdint>
#include <functional>

#include <juce_core/juce_core.h>

// Held by a launcher while it installs, so that launchers started in one folder take turns. It is
// an OS lock on a file beside the launcher, whose folder any install must be able to write to.
// Worker thread.
class InstallLock
{
public:
    InstallLock() = default;
    ~InstallLock();

    // The lock's file: one per launcher folder.
    static juce::File file();

    // Waits for the lock, polling `stopRequested` every 500 ms. Fails with "Cancelled" when
    // stopped first, and at once when no lock can be had at all.
    juce::Result enter(const std::function<bool()>& stopRequested);
    // Takes the lock only when no other launcher holds it and it can be had at all.
    bool try_enter();

private:
    std::intptr_t handle = 0;
    bool held = false;

    JUCE_DECLARE_NON_COPYABLE(InstallLock)
};
