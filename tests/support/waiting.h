#pragma once

#include <functional>

#include <juce_core/juce_core.h>

// Polls every 50 ms until `condition` holds or the time is up.
inline bool wait_until(const std::function<bool()>& condition, int timeoutMs = 20000)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return condition();
        juce::Thread::sleep(50);
    }
    return true;
}
