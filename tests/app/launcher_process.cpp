#include "launcher_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

extern char** environ;

LauncherProcess::LauncherProcess()
    : root(juce::File::getSpecialLocation(juce::File::tempDirectory)
               .getNonexistentChildFile("solvanter-app-test", "", false))
{
    folder().createDirectory();
    home().createDirectory();
    const auto copy = folder().getChildFile("solvanter-launcher");
    built_launcher().copyFileTo(copy);
    copy.setExecutePermission(true);
}

LauncherProcess::~LauncherProcess()
{
    if (pid > 0)
    {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    root.deleteRecursively();
}

juce::File LauncherProcess::built_launcher()
{
    return juce::File(SOLVANTER_BUILD_DIR "/bin/solvanter-launcher");
}

void LauncherProcess::write_config(std::initializer_list<std::pair<juce::String, juce::String>> values) const
{
    juce::XmlElement xml("PROPERTIES");
    for (const auto& [key, text] : values)
    {
        auto* value = xml.createNewChildElement("VALUE");
        value->setAttribute("name", key);
        value->setAttribute("val", text);
    }
    xml.writeTo(config_file());
}

bool LauncherProcess::start(const juce::StringArray& args, const juce::String& display)
{
    const auto executable = folder().getChildFile("solvanter-launcher").getFullPathName().toStdString();

    std::vector<std::string> argStrings { executable };
    for (const auto& arg : args)
        argStrings.push_back(arg.toStdString());

    std::vector<std::string> envStrings;
    for (char** entry = environ; *entry != nullptr; ++entry)
    {
        const juce::String text(*entry);
        if (! text.startsWith("HOME=") && ! text.startsWith("DISPLAY=") && ! text.startsWith("XDG_CONFIG_HOME="))
            envStrings.push_back(*entry);
    }
    envStrings.push_back("HOME=" + home().getFullPathName().toStdString());
    if (display.isNotEmpty())
        envStrings.push_back("DISPLAY=" + display.toStdString());

    std::vector<char*> argv, envp;
    for (auto& s : argStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    const auto outPath = root.getChildFile("stdout.txt").getFullPathName().toStdString();
    const auto errPath = root.getChildFile("stderr.txt").getFullPathName().toStdString();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder().getFullPathName().toRawUTF8());

    // The test program's own signal handling must not leak into the launcher.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, empty;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    sigemptyset(&empty);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &empty);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    exitedNormally = false;
    exitCode = -1;
    const auto result = posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(), envp.data());

    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);

    if (result != 0)
        pid = -1;
    return result == 0;
}

bool LauncherProcess::run(const juce::StringArray& args, int timeoutMs, const juce::String& display)
{
    return start(args, display) && wait_for_exit(timeoutMs);
}

bool LauncherProcess::running()
{
    return pid > 0 && ! wait_for_exit(0);
}

bool LauncherProcess::wait_for_exit(int timeoutMs)
{
    if (pid <= 0)
        return true;

    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    for (;;)
    {
        int status = 0;
        const auto done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
        {
            pid = -1;
            exitedNormally = WIFEXITED(status);
            exitCode = exitedNormally ? WEXITSTATUS(status) : -1;
            return true;
        }
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void LauncherProcess::send_signal(int signal) const
{
    if (pid > 0)
        kill(pid, signal);
}

juce::String LauncherProcess::std_out() const
{
    return root.getChildFile("stdout.txt").loadFileAsString();
}

juce::String LauncherProcess::std_err() const
{
    return root.getChildFile("stderr.txt").loadFileAsString();
}

juce::StringArray LauncherProcess::log_lines() const
{
    juce::StringArray lines;
    lines.addLines(log_text());
    while (! lines.isEmpty() && lines[lines.size() - 1].isEmpty())
        lines.remove(lines.size() - 1);
    return lines;
}

bool LauncherProcess::wait_for_log(const juce::String& text, int timeoutMs) const
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    for (;;)
    {
        if (log_text().contains(text))
            return true;
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

juce::String without_time_stamp(const juce::String& line)
{
    const bool stamped = line.length() > 9 && line[2] == ':' && line[5] == ':' && line[8] == ' '
                         && line.substring(0, 8).removeCharacters(":").containsOnly("0123456789");
    return stamped ? line.substring(9) : line;
}
