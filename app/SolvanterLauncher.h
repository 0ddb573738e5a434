#pragma once

#include <memory>

#include <juce_gui_basics/juce_gui_basics.h>

#include "app/MainWindow.h"
#include "app/launcher_log.h"

// The one application object: reads the command line, opens launcher.log, builds the window,
// picks the run (write the configuration and quit, headless, or shown) and starts the worker.
//
// Threads: everything runs on the message thread, except `systemRequestedQuit`, which the worker
// thread also calls and which is safe from any thread.
class SolvanterLauncher : public juce::JUCEApplication
{
public:
    SolvanterLauncher() = default;
    ~SolvanterLauncher() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;

    void initialise(const juce::String& commandLine) override;
    void shutdown() override;

    // The deep-link handler. The framework never calls it, since more than one instance may run.
    void anotherInstanceStarted(const juce::String& commandLine) override;
    // Logs the quit (with the exit code when it is not 0) and asks the message loop to end.
    // Any thread.
    void systemRequestedQuit() override;

private:
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<LauncherLog> logger;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(SolvanterLauncher)
};
