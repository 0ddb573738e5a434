#include "launcher_process.h"

#include <signal.h>

#include "services/build_info.h"

LauncherProcess::LauncherProcess()
    : root(juce::File::getSpecialLocation(juce::File::tempDirectory).getNonexistentChildFile("solvanter-app-test", "", false))
{
    const auto copy = folder().getChildFile("solvanter-launcher");
    folder().createDirectory();
    juce::File(SOLVANTER_BUILD_DIR "/bin/solvanter-launcher").copyFileTo(copy);
    copy.setExecutePermission(true);
}

LauncherProcess::~LauncherProcess()
{
    if (shell.isRunning())
    {
        send_signal(SIGKILL);
        shell.waitForProcessToFinish(20000);
    }
    root.deleteRecursively();
}

void LauncherProcess::use_backend(const devbackend::DevBackend& backend) const
{
    folder().getChildFile("config.xml").replaceWithText("<PROPERTIES><VALUE name=\"app_api\" val=\""
                                                        + juce::String(backend.origin()) + "\"/></PROPERTIES>");
}

bool LauncherProcess::start(const juce::StringArray& args, bool withDisplay)
{
    // The shell waits for the launcher, so that both its process id and its exit status are
    // known; with job control on, the launcher does not ignore SIGINT as a background job would.
    juce::StringArray command { "/bin/bash", "-c",
                                "set -m; cd \"$0\" && rm -f pid rc; unset=$1 exe=$2; shift 2; "
                                "env -u XDG_CONFIG_HOME -u \"$unset\" HOME=\"$PWD/home\" \"$exe\" \"$@\" > stdout.txt & "
                                "echo $! > pid.new && mv pid.new pid; wait $!; echo $? > rc",
                                root.getFullPathName(), withDisplay ? "XDG_CONFIG_HOME" : "DISPLAY",
                                relative_start ? "launcher/solvanter-launcher"
                                               : folder().getChildFile("solvanter-launcher").getFullPathName() };
    command.addArray(args);
    exit_code = -1;
    return shell.start(command, 0) && wait_until([this] { return root.getChildFile("pid").exists(); });
}

bool LauncherProcess::wait_for_exit(int timeoutMs)
{
    if (! wait_until([this] { return root.getChildFile("rc").getSize() > 0; }, timeoutMs))
        return false;
    exit_code = root.getChildFile("rc").loadFileAsString().getIntValue();
    return true;
}

void LauncherProcess::send_signal(int signal) const
{
    ::kill(root.getChildFile("pid").loadFileAsString().getIntValue(), signal);
}

juce::StringArray LauncherProcess::log_lines() const
{
    juce::StringArray lines;
    lines.addLines(log_file().loadFileAsString());
    lines.removeEmptyStrings();
    for (auto& line : lines)
        if (line.length() > 9 && line[2] == ':' && line[5] == ':' && line[8] == ' ')
            line = line.substring(9);
    return lines;
}

bool start_backend_for_launcher(devbackend::DevBackend& backend)
{
    // Only a build against a local backend can be run here (-DSOLVANTER_API=http://127.0.0.1:<port>).
    if (! build_info::api_origin().startsWith("http://127.0.0.1:"))
        return false;
    const auto port = juce::URL(build_info::api_origin()).getPort();
    return wait_until([&] { return backend.start(port); }, 60000);
}

juce::String map_state(const juce::String& title)
{
    juce::ChildProcess xwininfo;
    // xwininfo's own -name misses titles that JUCE sets as UTF-8.
    const auto script = R"(id=$(xwininfo -root -children | grep -F "\"$0\":" | awk '{ print $1; exit }'); )"
                        R"([ -n "$id" ] && xwininfo -id "$id")";
    if (! xwininfo.start(juce::StringArray { "/bin/bash", "-c", script, title }))
        return {};
    return xwininfo.readAllProcessOutput().fromFirstOccurrenceOf("Map State: ", false, false).upToFirstOccurrenceOf("\n", false, false);
}
