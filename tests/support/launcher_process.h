#pragma once

// The built launcher run as a child process, for the tests of the program and of its self-update.

#include <signal.h>
#include <unistd.h>

#include "services/build_info.h"
#include "support/scene.h"

// Processes whose executable's path starts with the prefix, wherever they were adopted.
inline std::vector<int> processes_under(const juce::String& prefix)
{
    std::vector<int> pids;
    for (const auto& entry : juce::RangedDirectoryIterator(juce::File("/proc"), false, "*", juce::File::findDirectories))
    {
        const auto name = entry.getFile().getFileName();
        char target[4096];
        const auto n = ::readlink(("/proc/" + name + "/exe").toRawUTF8(), target, sizeof target);
        if (name.containsOnly("0123456789") && n > 0 && juce::String::fromUTF8(target, (int) n).startsWith(prefix))
            pids.push_back(name.getIntValue());
    }
    return pids;
}

// The X display the tests run on.
inline juce::String test_display() { return juce::SystemStats::getEnvironmentVariable("DISPLAY", {}); }

// The launcher copied into a folder of a scratch folder of its own (config.xml lies beside it) and
// run with HOME in the scratch folder, so that launcher.log belongs to this run alone. Its output
// goes to files, so nothing it leaves running holds a pipe of ours open.
class LauncherProcess
{
public:
    explicit LauncherProcess(const juce::String& name = "launcher") : folderName(name)
    {
        folder().createDirectory();
        copy_executable(build_file("bin/solvanter-launcher"), folder().getChildFile("solvanter-launcher"));
    }

    // Ends whatever the run started in the scratch folder, even when a test fails half-way.
    ~LauncherProcess()
    {
        for (auto pid : processes_under(scratch.folder.getFullPathName() + "/"))
            ::kill(pid, SIGKILL);
        shell.waitForProcessToFinish(20000);
    }

    juce::File folder() const { return scratch / folderName; }
    juce::File log_file() const { return scratch / "home/.config/Solvanter/launcher.log"; }
    juce::String std_out() const { return (scratch / "stdout.txt").loadFileAsString(); }
    juce::String std_err() const { return (scratch / "stderr.txt").loadFileAsString(); }

    // The log's lines without empty ones and without time stamps.
    juce::StringArray log_lines() const
    {
        juce::StringArray lines;
        lines.addLines(log_file().loadFileAsString());
        lines.removeEmptyStrings();
        for (auto& line : lines)
            if (line.length() > 9 && line[2] == ':' && line[5] == ':' && line[8] == ' ')
                line = line.substring(9);
        return lines;
    }

    bool wait_for_log(const juce::String& text) const
    {
        return wait_until([&] { return log_file().loadFileAsString().contains(text); });
    }

    // Writes config.xml pointing the application API at the backend.
    void use_backend(const devbackend::DevBackend& backend) const
    {
        folder().getChildFile("config.xml").replaceWithText("<PROPERTIES><VALUE name=\"app_api\" val=\""
                                                            + juce::String(backend.origin()) + "\"/></PROPERTIES>");
    }

    // On this X display; without one when it is empty.
    bool start(const juce::StringArray& args, const juce::String& display = {})
    {
        // The shell waits for the launcher, so that both its process id and its exit status are
        // known; with job control on, the launcher does not ignore SIGINT as a background job would.
        const auto limit = addressSpaceKb > 0 ? "ulimit -v " + juce::String(addressSpaceKb) + "; " : juce::String();
        juce::StringArray command { "/bin/bash", "-c",
                                    "set -m; cd \"$0\" && rm -f pid rc; display=${1#DISPLAY=} exe=$2; shift 2; " + limit +
                                    "env -u XDG_CONFIG_HOME -u DISPLAY ${display:+DISPLAY=\"$display\"} HOME=\"$PWD/home\" "
                                    "\"$exe\" \"$@\" > stdout.txt 2> stderr.txt & "
                                    "echo $! > pid.new && mv pid.new pid; wait $!; echo $? > rc",
                                    scratch.folder.getFullPathName(), "DISPLAY=" + display,  // ChildProcess drops empty ones
                                    relative_start ? folderName + "/solvanter-launcher"
                                                   : folder().getChildFile("solvanter-launcher").getFullPathName() };
        command.addArray(args);
        exit_code = -1;
        return shell.start(command, 0) && wait_until([this] { return (scratch / "pid").exists(); });
    }

    // False when the run has not ended within the time.
    bool wait_for_exit(int timeoutMs = 20000)
    {
        if (! wait_until([this] { return (scratch / "rc").getSize() > 0; }, timeoutMs))
            return false;
        exit_code = (scratch / "rc").loadFileAsString().getIntValue();
        return true;
    }

    bool run(const juce::StringArray& args) { return start(args) && wait_for_exit(); }
    void send_signal(int signal) const { ::kill((scratch / "pid").loadFileAsString().getIntValue(), signal); }
    // Its address space in KB ("VmSize"), 0 when it cannot be read.
    juce::int64 address_space_kb() const
    {
        const auto status = juce::File("/proc/" + (scratch / "pid").loadFileAsString().trim() + "/status").loadFileAsString();
        return status.fromFirstOccurrenceOf("VmSize:", false, false).trim().getLargeIntValue();
    }

    int exit_code = -1;  // 128 + the signal when a signal ended the run
    // Start it by the path relative to the scratch folder, as a shell user might.
    bool relative_start = false;
    // Run with its address space capped at this many KB (ulimit -v); 0: no cap.
    juce::int64 addressSpaceKb = 0;

private:
    ScratchFolder scratch;
    const juce::String folderName;
    juce::ChildProcess shell;

    JUCE_DECLARE_NON_COPYABLE(LauncherProcess)
};

// Starts the backend on the port compiled into the launcher, waiting while another test holds it.
inline bool start_backend_for_launcher(devbackend::DevBackend& backend)
{
    // Only a build against a local backend can be run here (-DSOLVANTER_API=http://127.0.0.1:<port>).
    if (! build_info::api_origin().startsWith("http://127.0.0.1:"))
        return false;
    const auto port = juce::URL(build_info::api_origin()).getPort();
    return wait_until([&] { return backend.start(port); }, 120000);
}

// "IsViewable" or "IsUnMapped" for the first top-level window with this title on the test's X
// display, empty when there is none.
inline juce::String map_state(const juce::String& title)
{
    juce::ChildProcess xwininfo;
    // xwininfo's own -name misses titles that JUCE sets as UTF-8.
    const auto script = R"(id=$(xwininfo -root -children | grep -F "\"$0\":" | awk '{ print $1; exit }'); )"
                        R"([ -n "$id" ] && xwininfo -id "$id")";
    if (! xwininfo.start(juce::StringArray { "/bin/bash", "-c", script, title }))
        return {};
    return xwininfo.readAllProcessOutput().fromFirstOccurrenceOf("Map State: ", false, false).upToFirstOccurrenceOf("\n", false, false);
}
