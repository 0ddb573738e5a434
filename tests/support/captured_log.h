#pragma once

#include <juce_core/juce_core.h>

// The current juce::Logger while it lives: collects every log line. Any thread may log.
class CapturedLog : public juce::Logger
{
public:
    CapturedLog() { setCurrentLogger(this); }
    ~CapturedLog() override { setCurrentLogger(nullptr); }

    void logMessage(const juce::String& line) override { const juce::ScopedLock sl(lock); received.add(line); }
    juce::StringArray raw() const { const juce::ScopedLock sl(lock); return received; }
    void clear() { const juce::ScopedLock sl(lock); received.clear(); }

    // The lines without their "HH:MM:SS " stamps; a line without one is marked "(no stamp) ".
    juce::StringArray lines() const
    {
        juce::StringArray result;
        for (const auto& line : raw())
        {
            const auto stamp = line.substring(0, 9);
            const bool stamped = stamp.matchesWildcard("??:??:?? ", false)
                                 && stamp.removeCharacters(": ").containsOnly("0123456789");
            result.add(stamped ? line.substring(9) : "(no stamp) " + line);
        }
        return result;
    }

    // lines(), then forgets them.
    juce::StringArray take()
    {
        auto result = lines();
        clear();
        return result;
    }

    // Whether lines matching these wildcard patterns were logged in this order; a pattern that
    // starts with "!" must match no line at all.
    bool logged(const juce::StringArray& patterns) const
    {
        const auto all = lines();
        juce::StringArray inOrder;
        for (const auto& pattern : patterns)
            if (! pattern.startsWithChar('!'))
                inOrder.add(pattern);
            else
                for (const auto& line : all)
                    if (line.matchesWildcard(pattern.substring(1), false))
                        return false;
        int next = 0;
        for (const auto& line : all)
            next += next < inOrder.size() && line.matchesWildcard(inOrder[next], false) ? 1 : 0;
        return next == inOrder.size();
    }

private:
    juce::CriticalSection lock;
    juce::StringArray received;
};
