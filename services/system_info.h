#pragma once

#include <juce_core/juce_core.h>

// Message thread only.
juce::StringArray system_info_lines();
void log_system_info();
juce::String about_text();
// "d Mon yyyy H:MM" of the compilation time.
juce::String compile_date_text();
