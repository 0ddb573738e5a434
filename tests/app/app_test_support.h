#pragma once

#include <functional>

#include <juce_core/juce_core.h>

#include "dev_backend.h"

// The port the built launcher's compiled-in launcher API base points at (the dev build's
// http://127.0.0.1:18230), or 0 when that base is not a local plain-HTTP address.
int compiled_backend_port();

// Starts the dev backend where the built launcher looks for it. False (with a reason on stderr)
// when it cannot: another program holds the port, or the build points at a real backend.
bool start_backend_for_launcher(devbackend::DevBackend& backend);

// Pumps the message loop until `condition` holds or the time is up.
bool pump_until(const std::function<bool()>& condition, int timeoutMs);

// Collects what reaches the current juce::Logger while it is installed; time stamps removed.
class CapturedLog : public juce::Logger
{
public:
    CapturedLog() { juce::Logger::setCurrentLogger(this); }
    ~CapturedLog() override { juce::Logger::setCurrentLogger(nullptr); }

    void logMessage(const juce::String& message) override;
    juce::StringArray lines() const;

private:
    mutable juce::CriticalSection lock;
    juce::StringArray messages;
};
