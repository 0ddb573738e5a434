#include "launcher_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "services/build_info.h"

extern char** environ;

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
    if (pid > 0)
    {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
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
    // env(1) sets the environment and then becomes the launcher, keeping its process id.
    juce::StringArray command { "/usr/bin/env", "-u", "XDG_CONFIG_HOME" };
    if (! withDisplay)
        command.addArray(juce::StringArray { "-u", "DISPLAY" });
    if (relative_start)
        command.addArray(juce::StringArray { "-C", root.getFullPathName() });
    command.add("HOME=" + root.getChildFile("home").getFullPathName());
    if (relative_start)
        command.add("launcher/solvanter-launcher");
    else
        command.add(folder().getChildFile("solvanter-launcher").getFullPathName());
    command.addArray(args);

    std::vector<std::string> strings;
    std::vector<char*> argv;
    for (const auto& arg : command)
        strings.push_back(arg.toStdString());
    for (auto& arg : strings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, root.getChildFile("stdout.txt").getFullPathName().toRawUTF8(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    exit_code = -1;
    const auto result = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        pid = -1;
    return result == 0;
}

bool LauncherProcess::wait_for_exit(int timeoutMs)
{
    return wait_until([this] {
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid)
        {
            pid = -1;
            exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return pid <= 0;
    }, timeoutMs);
}

void LauncherProcess::send_signal(int signal) const
{
    if (pid > 0)
        kill(pid, signal);
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
    // Only a build against a local backend can be run here (-DSOLVANTER_API=http://127.0.0.1:18230).
    if (! build_info::api_origin().startsWith("http://127.0.0.1:"))
        return false;
    const auto port = juce::URL(build_info::api_origin()).getPort();
    return wait_until([&] { return backend.start(port); }, 60000);
}

void ignore_x_errors()
{
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
}

int windows_titled(const juce::String& title, bool mapped)
{
    auto* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return 0;

    // Windows may vanish while they are looked at.
    auto* previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    int found = 0;

    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0)
    {
        for (unsigned int i = 0; i < count; ++i)
        {
            XTextProperty name {};
            XWindowAttributes attributes {};
            if (XGetWMName(display, children[i], &name) == 0 || name.value == nullptr)
                continue;
            const auto text = juce::String::fromUTF8(reinterpret_cast<const char*>(name.value), (int) name.nitems);
            XFree(name.value);
            if (text == title && XGetWindowAttributes(display, children[i], &attributes) != 0
                && (attributes.map_state == IsViewable) == mapped)
                ++found;
        }
        XFree(children);
    }

    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return found;
}
