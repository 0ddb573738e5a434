#pragma once

#include <sys/types.h>

#include <initializer_list>
#include <utility>

#include <juce_core/juce_core.h>

// The built launcher, run as a child process from a folder of its own (its config.xml lives
// beside it) with HOME pointing into that folder, so that ~/.config/Solvanter/launcher.log
// belongs to this run alone.
class LauncherProcess
{
public:
    LauncherProcess();
    ~LauncherProcess();  // kills a run still going and removes the folder

    static juce::File built_launcher();

    juce::File folder() const { return root.getChildFile("launcher"); }
    juce::File home() const { return root.getChildFile("home"); }
    juce::File log_file() const { return home().getChildFile(".config/Solvanter/launcher.log"); }
    juce::File config_file() const { return folder().getChildFile("config.xml"); }

    // Writes config.xml with these keys and values.
    void write_config(std::initializer_list<std::pair<juce::String, juce::String>> values) const;

    // Starts the launcher with these arguments; with `display` empty it runs without an X display.
    bool start(const juce::StringArray& args, const juce::String& display = {});
    // Runs to the end; false when it did not end within the time (it is then killed).
    bool run(const juce::StringArray& args, int timeoutMs = 20000, const juce::String& display = {});

    bool wait_for_exit(int timeoutMs);
    bool running();
    void send_signal(int signal) const;

    // Valid once the run has ended.
    bool exited_normally() const { return exitedNormally; }
    int exit_code() const { return exitCode; }
    juce::String std_out() const;
    juce::String std_err() const;
    juce::String log_text() const { return log_file().loadFileAsString(); }
    juce::StringArray log_lines() const;

    // Polls the log until a line contains `text`.
    bool wait_for_log(const juce::String& text, int timeoutMs) const;

private:
    juce::File root;
    pid_t pid = -1;
    bool exitedNormally = false;
    int exitCode = -1;

    JUCE_DECLARE_NON_COPYABLE(LauncherProcess)
};

// Removes the "%H:%M:%S " time stamp of a log line; other lines stay as they are.
juce::String without_time_stamp(const juce::String& line);
