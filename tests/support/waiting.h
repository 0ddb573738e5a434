#pragma once

#include <functional>

#include <juce_events/juce_events.h>

// Runs the message loop for this long when called on the message thread, otherwise sleeps.
inline void pump(int ms)
{
    auto* messages = juce::MessageManager::getInstanceWithoutCreating();
    if (messages != nullptr && messages->isThisTheMessageThread())
        messages->runDispatchLoopUntil(ms);
    else
        juce::Thread::sleep(ms);
}

// Until `condition` holds or the time is up, pumping meanwhile.
inline bool wait_until(const std::function<bool()>& condition, int timeoutMs = 20000)
{
    for (const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs; ! condition(); pump(10))
        if (juce::Time::getMillisecondCounter() > end)
            return condition();
    return true;
}
