#pragma once

#include <juce_core/juce_core.h>

// Time-stamped log lines; any thread may call these.

// Writes "%H:%M:%S " + text to stdout (stderr when isError) and to the current juce::Logger.
void log_line(const juce::String& text, bool isError);
void log_info(const juce::String& message);
void log_error(const juce::String& message);
// Log and state texts show sizes in megabytes: bytes / 1024 / 1024.
double megabytes(juce::int64 bytes);
// Logs a JSON value reshaped into readable text, at the information level.
void log_json(const juce::var& value);
