#pragma once

#include <juce_core/juce_core.h>

#include "dev_backend.h"
#include "support/waiting.h"

// The built launcher, run as a child process from a temporary folder of its own (config.xml lies
// beside it) with HOME inside that folder, so that launcher.log belongs to this run alone.
class LauncherProcess
{
public:
    LauncherProcess();
    ~LauncherProcess();  // kills a run still going and removes the folder

    juce::File folder() const { return root.getChildFile("launcher"); }
    juce::File log_file() const { return root.getChildFile("home/.config/Solvanter/launcher.log"); }
    juce::String std_out() const { return root.getChildFile("stdout.txt").loadFileAsString(); }
    // The log's lines without empty ones and without time stamps.
    juce::StringArray log_lines() const;
    bool wait_for_log(const juce::String& text) const
    {
        return wait_until([&] { return log_file().loadFileAsString().contains(text); });
    }

    // Writes config.xml pointing the application API at the backend.
    void use_backend(const devbackend::DevBackend& backend) const;

    // Without an X display unless `withDisplay`.
    bool start(const juce::StringArray& args, bool withDisplay = false);
    // False when the run has not ended within the time.
    bool wait_for_exit(int timeoutMs = 20000);
    bool run(const juce::StringArray& args) { return start(args) && wait_for_exit(); }
    void send_signal(int signal) const;

    int exit_code = -1;  // 128 + the signal when a signal ended the run
    // Start it as "launcher/solvanter-launcher" from the folder above, as a shell user might.
    bool relative_start = false;

private:
    juce::File root;
    juce::ChildProcess shell;

    JUCE_DECLARE_NON_COPYABLE(LauncherProcess)
};

// Starts the backend on the port compiled into the launcher, waiting while another test holds it.
bool start_backend_for_launcher(devbackend::DevBackend& backend);

// "IsViewable" or "IsUnMapped" for the first top-level window with this title on the test's X
// display, empty when there is none.
juce::String map_state(const juce::String& title);
