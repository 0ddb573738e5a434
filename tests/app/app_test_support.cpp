#include "app_test_support.h"

#include <iostream>

#include <juce_events/juce_events.h>

#include "launcher_process.h"
#include "services/build_info.h"

int compiled_backend_port()
{
    const juce::URL origin(build_info::api_origin());
    if (! build_info::api_origin().startsWith("http://127.0.0.1:"))
        return 0;
    return origin.getPort();
}

bool start_backend_for_launcher(devbackend::DevBackend& backend)
{
    const auto port = compiled_backend_port();
    if (port <= 0)
    {
        std::cerr << "the launcher was built against " << build_info::api_origin()
                  << "; configure with -DSOLVANTER_API=http://127.0.0.1:18230\n";
        return false;
    }
    // Other test programs may hold the port for a moment; wait for it rather than fail at once.
    const auto end = juce::Time::getMillisecondCounter() + 60000;
    while (! backend.start(port) && juce::Time::getMillisecondCounter() < end)
        juce::Thread::sleep(100);

    if (! backend.running())
    {
        std::cerr << "cannot listen on 127.0.0.1:" << port << " (in use?)\n";
        return false;
    }
    return true;
}

bool pump_until(const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
    }
    return true;
}

void CapturedLog::logMessage(const juce::String& message)
{
    const juce::ScopedLock sl(lock);
    messages.add(without_time_stamp(message));
}

juce::StringArray CapturedLog::lines() const
{
    const juce::ScopedLock sl(lock);
    return messages;
}
