#pragma once

#include <memory>

#include <juce_core/juce_core.h>

// launcher.log in the "Solvanter" folder of the user's application-data folder.
juce::File launcher_log_file();

// Cuts a file over maxBytes to its end from the first line break in its last maxBytes bytes,
// whatever bytes they are (a NUL is not an end); a file whose last maxBytes bytes hold no line
// break stays whole. The file is replaced only by a copy that was written whole, so a full disk
// leaves it as it was.
void cut_log_file(const juce::File& file, juce::int64 maxBytes);

// The log file as the framework's current logger. Every message goes to the file's end in one
// write in append mode, so launchers started together lose no line of each other's.
class LauncherLog : public juce::Logger
{
public:
    // Cuts the file to `maxInitialBytes`, makes its folder when missing and appends the opening
    // block: a line of asterisks, the welcome message and "Log started: " with the time.
    LauncherLog(const juce::File& file, const juce::String& welcomeMessage, juce::int64 maxInitialBytes);

    // Appends the message and a CR LF.
    void logMessage(const juce::String& message) override;

private:
    const juce::File logFile;

    JUCE_DECLARE_NON_COPYABLE(LauncherLog)
};

// Opens launcher.log, cut to its last 65,536 bytes. Message thread.
std::unique_ptr<LauncherLog> open_launcher_log();
