#pragma once

#include <juce_core/juce_core.h>

// Writes the two scripts that replace the launcher's files after it has quit, and starts them.
// patcher.bat moves every top-level entry of the new build folder into the launcher's folder,
// removes the build folder and restarts the launcher; patcher.vbs runs it hidden, without waiting.
// Both name files relative to the launcher's folder, which is the working directory. patcher.bat is
// written in the bytes cmd reads it in (platform::to_console_code_page); a path or name that has
// no exact form there fails generate() before either script is written.
//
// Worker thread only: built, generate(), run(), destroyed within the self-update step.
class Patcher
{
public:
    explicit Patcher(const juce::File& newBuildFolder);

    // Writes patcher.bat, then patcher.vbs, into the launcher's folder.
    juce::Result generate();
    // Starts patcher.vbs and returns at once.
    juce::Result run();

private:
    juce::File executable;
    juce::File installFolder;
    juce::File newBuildFolder;
    juce::File sourceFolder;
    juce::File vbsFile;
};
