#pragma once

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <regex>
#include <string>

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// The current juce::Logger while it lives.
struct CapturingLogger : juce::Logger
{
    CapturingLogger() { setCurrentLogger(this); }
    ~CapturingLogger() override { setCurrentLogger(nullptr); }
    void logMessage(const juce::String& line) override
    {
        const juce::ScopedLock sl(lock);
        lines.add(line);
    }

    // The lines so far, each without its "HH:MM:SS " stamp, and forgets them.
    juce::StringArray take()
    {
        const juce::ScopedLock sl(lock);
        juce::StringArray result;
        for (const auto& line : lines)
            result.add(std::regex_search(line.toStdString(), std::regex(R"(^\d\d:\d\d:\d\d )")) ? line.substring(9)
                                                                                             : "(no stamp) " + line);
        lines.clear();
        return result;
    }

    juce::CriticalSection lock;
    juce::StringArray lines;
};

// The config.xml that Config reads and writes.
inline juce::File config_file()
{
    return juce::File::getSpecialLocation(juce::File::currentExecutableFile).getSiblingFile("config.xml");
}
