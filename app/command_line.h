#pragma once

#include <juce_core/juce_core.h>

// The launcher's command line. Message thread.

// Splits the text the framework hands to the application object at blanks, keeping quoted runs
// together; the argument list then trims, drops empty tokens and unquotes.
juce::ArgumentList parse_command_line(const juce::String& commandLine);

// What "--help" prints: the name and version line, then one line per option (no final line feed).
juce::String usage_text();
