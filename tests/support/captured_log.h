#pragma once

#include <juce_core/juce_core.h>

// The current juce::Logger while it lives: collects every log line. Any thread may log.
class CapturedLog : public juce::Logger
{
public:
    CapturedLog() { setCurrentLogger(this); }
    ~CapturedLog() override { setCurrentLogger(nullptr); }

    void logMessage(const juce::String& line) override
    {
        const juce::ScopedLock sl(lock);
        received.add(line);
    }

    // The lines as received.
    juce::StringArray raw() const
    {
        const juce::ScopedLock sl(lock);
        return received;
    }

    // The lines without their "HH:MM:SS " stamps; a line without one is marked "(no stamp) ".
    juce::StringArray lines() const
    {
        juce::StringArray result;
        for (const auto& line : raw())
            result.add(has_stamp(line) ? line.substring(9) : "(no stamp) " + line);
        return result;
    }

    // lines(), then forgets them.
    juce::StringArray take()
    {
        auto result = lines();
        clear();
        return result;
    }

    void clear()
    {
        const juce::ScopedLock sl(lock);
        received.clear();
    }

    // Whether lines matching these wildcard patterns were logged in this order.
    bool logged(const juce::StringArray& patterns) const
    {
        int next = 0;
        for (const auto& line : lines())
            if (next < patterns.size() && line.matchesWildcard(patterns[next], false))
                ++next;
        return next == patterns.size();
    }

private:
    static bool has_stamp(const juce::String& line)
    {
        return line.length() >= 9 && line[2] == ':' && line[5] == ':' && line[8] == ' '
            && line.substring(0, 8).removeCharacters(":").containsOnly("0123456789");
    }

    juce::CriticalSection lock;
    juce::StringArray received;
};
