#pragma once

#include <juce_core/juce_core.h>

// What the built launcher's log lines are looked for by, in the tests that run it.

// The block a launcher writes first into its log.
inline const juce::String openingBlock = "\r\n**********************************************************\r\n"
                                         "Solvanter Launcher\r\nLog started: ";

// The first line that starts with `prefix`, or -1.
inline int index_of(const juce::StringArray& lines, const juce::String& prefix)
{
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].startsWith(prefix))
            return i;
    return -1;
}

// How many lines start with `prefix`.
inline int count_of(const juce::StringArray& lines, const juce::String& prefix)
{
    int count = 0;
    for (const auto& line : lines)
        count += line.startsWith(prefix) ? 1 : 0;
    return count;
}
