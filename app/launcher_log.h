#pragma once

#include <memory>

#include <juce_core/juce_core.h>

// launcher.log in the "Solvanter" folder of the user's application-data folder.
juce::File launcher_log_file();

// Opens the log: a file over 65,536 bytes is first cut to its end from the first line break in
// its last 65,536 bytes; then the folder and file are made when missing and the opening block
// ("Solvanter Launcher" and the start time) is appended. Message thread.
std::unique_ptr<juce::FileLogger> open_launcher_log();
