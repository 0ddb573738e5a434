// Linux stand-ins for the Win32 calls the launcher makes.
#include "platform/platform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "scripthost/detach.h"
#include "services/build_info.h"
#include "services/log_text.h"
#include "services/utf8_text.h"

namespace platform
{
namespace
{
struct DisplayHandle
{
    DisplayHandle() : display(XOpenDisplay(nullptr)) {}
    ~DisplayHandle()
    {
        if (display != nullptr)
            XCloseDisplay(display);
    }
    Display* display;
};

// Xlib reports protocol errors through a process-wide handler; a window that vanishes while we
// read its title must not end the launcher.
int ignore_x_errors(Display*, XErrorEvent*) { return 0; }

juce::String window_title(Display* display, Window window)
{
    const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);

    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;

    if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format, &count,
                           &remaining, &data) == Success
        && data != nullptr)
    {
        const auto title = juce::String::fromUTF8(reinterpret_cast<const char*>(data), (int) count);
        XFree(data);
        if (type == utf8 && format == 8)
            return title;
    }

    char* name = nullptr;
    if (XFetchName(display, window, &name) != 0 && name != nullptr)
    {
        const auto title = juce::String::fromUTF8(name);
        XFree(name);
        return title;
    }
    return {};
}

juce::Array<Window> client_windows(Display* display, Window root)
{
    juce::Array<Window> windows;
    const Atom clientList = XInternAtom(display, "_NET_CLIENT_LIST", True);

    if (clientList != None)
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;

        if (XGetWindowProperty(display, root, clientList, 0, 65536, False, XA_WINDOW, &type, &format,
                               &count, &remaining, &data) == Success
            && data != nullptr)
        {
            if (type == XA_WINDOW && format == 32)
            {
                auto* ids = reinterpret_cast<unsigned long*>(data);
                for (unsigned long i = 0; i < count; ++i)
                    windows.add((Window) ids[i]);
            }
            XFree(data);
            if (type == XA_WINDOW)
                return windows;
        }
    }

    // No window manager: the top-level windows are the root window's children.
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) != 0 && children != nullptr)
    {
        for (unsigned int i = 0; i < count; ++i)
            windows.add(children[i]);
        XFree(children);
    }
    return windows;
}
} // namespace

bool display_available()
{
    return DisplayHandle().display != nullptr;
}

bool top_level_window_exists(const juce::String& title)
{
    DisplayHandle handle;
    if (handle.display == nullptr)
        return false;

    auto* previous = XSetErrorHandler(ignore_x_errors);
    bool found = false;

    for (auto window : client_windows(handle.display, DefaultRootWindow(handle.display)))
    {
        if (window_title(handle.display, window) == title)
        {
            found = true;
            break;
        }
    }

    XSync(handle.display, False);
    XSetErrorHandler(previous);
    return found;
}

namespace
{
mode_t read_umask()
{
    // Read without changing it, so other threads never create files under a wrong mask.
    const auto status = juce::File("/proc/self/status").loadFileAsString();
    const auto line = status.fromFirstOccurrenceOf("\nUmask:", false, false).upToFirstOccurrenceOf("\n", false, false);
    const auto octal = line.trim();
    if (octal.isNotEmpty() && octal.containsOnly("01234567"))
        return (mode_t) std::strtol(octal.toRawUTF8(), nullptr, 8);
    const auto mask = umask(022);
    umask(mask);
    return mask;
}

// Nothing in the launcher changes its umask: read once, not once per unzipped file.
mode_t current_umask()
{
    static const mode_t mask = read_umask();
    return mask;
}
} // namespace

void apply_entry_permissions(const juce::ZipFile::ZipEntry& entry, const juce::File& extracted)
{
    // Archives made on Unix keep st_mode in the upper 16 bits of the external attributes.
    const auto mode = (entry.externalFileAttributes >> 16) & 0xFFFFu;
    if (mode == 0 || entry.isSymbolicLink || ! S_ISREG(mode))
        return;

    // Only the permission bits, through the umask, as any newly created file gets them: an archive
    // never makes a file set-user-id, set-group-id or sticky, nor more open than the user allows.
    if (extracted.existsAsFile())
        chmod(extracted.getFullPathName().toRawUTF8(), (mode_t) (mode & 0777u & ~current_umask()));
}

bool is_link_target_separator(juce::juce_wchar c)
{
    return c == '/';
}

bool name_is_read_as_itself(std::string_view)
{
    // Linux takes any bytes but '/' and NUL as a name, as they are.
    return true;
}

bool path_fits(const juce::String& path, bool)
{
    // The framework hands the OS a path's UTF-8 bytes as they are.
    return std::strlen(path.toRawUTF8()) < PATH_MAX;
}

PathKind path_kind(const juce::File& file)
{
    struct stat info {};
    if (lstat(file.getFullPathName().toRawUTF8(), &info) != 0)
        return PathKind::missing;
    if (S_ISLNK(info.st_mode))
        return PathKind::link;
    return S_ISDIR(info.st_mode) ? PathKind::folder : PathKind::other;
}

bool can_start_program(const juce::File& executable)
{
    const auto path = executable.getFullPathName();
    return executable.existsAsFile() && access(path.toRawUTF8(), X_OK) == 0;
}

bool start_program(juce::ChildProcess& process, const juce::StringArray& command)
{
    // A failed exec only shows later as exit code 255, so ask before starting.
    if (command.isEmpty() || ! can_start_program(juce::File(command[0])))
        return false;

    // The child keeps an ignored SIGPIPE across exec: once the launcher has quit and closed its
    // end of the output pipe, a write by the application fails instead of killing it.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous);
    const bool started = process.start(command);
    sigaction(SIGPIPE, &previous, nullptr);
    return started;
}

FileLockOutcome try_lock_file(const juce::File& file, std::intptr_t& handle)
{
    // Close-on-exec, so a program the launcher starts never keeps the lock. A FIFO or device at
    // the path could not be trusted to lock, so only a regular file will do.
    const int fd = open(file.getFullPathName().toRawUTF8(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0)
        return FileLockOutcome::impossible;

    struct stat info {};
    if (fstat(fd, &info) != 0 || ! S_ISREG(info.st_mode))
    {
        close(fd);
        return FileLockOutcome::impossible;
    }

    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
    {
        handle = fd;
        return FileLockOutcome::taken;
    }

    const bool held = errno == EWOULDBLOCK;
    close(fd);
    return held ? FileLockOutcome::heldByAnother : FileLockOutcome::impossible;
}

void release_file_lock(std::intptr_t handle)
{
    close((int) handle);
}

bool append_to_file(const juce::File& file, const void* data, size_t size)
{
    // Not blocking: a FIFO at the path without a reader fails instead of holding the launcher.
    const int fd = open(file.getFullPathName().toRawUTF8(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0)
        return false;
    ssize_t written = 0;
    do
        written = write(fd, data, size);
    while (written < 0 && errno == EINTR);
    close(fd);
    return written == (ssize_t) size;
}

void with_log_lock(const juce::File& folder, const std::function<void()>& action)
{
    const int fd = open(folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        for (int waitedMs = 0; flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK && waitedMs < 2000; ++waitedMs)
            usleep(1000);
    action();
    if (fd >= 0)
        close(fd);  // and with it the lock
}

bool executable_path_is_text(juce::String& shown)
{
    // The framework takes /proc/self/exe's target, or where the loader found the executable.
    char target[4096];
    auto n = readlink("/proc/self/exe", target, sizeof target);
    const char* raw = target;
    if (n < 0 || n == (ssize_t) sizeof target)
    {
        Dl_info info {};
        if (dladdr(reinterpret_cast<void*>(&executable_path_is_text), &info) == 0 || info.dli_fname == nullptr)
            return true;
        raw = info.dli_fname;
        n = (ssize_t) strlen(raw);
    }
    if (is_utf8_text(raw, (size_t) n))
        return true;
    shown = shown_as_text(raw, (size_t) n);
    return false;
}

// Termination requests. The signal handler only writes a byte into a pipe; a watcher thread reads
// it and calls the launcher's handler outside signal context.
namespace
{
int terminationPipe[2] = { -1, -1 };

constexpr char signalByte = 's';
constexpr char stopByte = 'q';

void on_termination_signal(int)
{
    const auto savedErrno = errno;
    const char byte = signalByte;
    [[maybe_unused]] const auto written = write(terminationPipe[1], &byte, 1);
    errno = savedErrno;
}

struct TerminationWatcher
{
    std::mutex mutex;
    std::function<void()> handler;
    std::thread thread;
    bool installed = false;
};

// Never destroyed: a signal may still arrive while static objects are being torn down.
TerminationWatcher& termination_watcher()
{
    static auto* watcher = new TerminationWatcher();
    return *watcher;
}

bool install_termination_signals()
{
    // Close-on-exec, so the launched application does not inherit the pipe.
    if (pipe2(terminationPipe, O_CLOEXEC) != 0)
        return false;

    // A full pipe must never block the signal handler; pending requests are enough.
    fcntl(terminationPipe[1], F_SETFL, fcntl(terminationPipe[1], F_GETFL) | O_NONBLOCK);

    struct sigaction action {};
    action.sa_handler = on_termination_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
}

void watch_termination_pipe()
{
    auto& watcher = termination_watcher();

    for (;;)
    {
        char byte = 0;
        const auto count = read(terminationPipe[0], &byte, 1);

        if (count < 0 && errno == EINTR)
            continue;

        if (count <= 0 || byte == stopByte)
            return;

        std::function<void()> handler;
        {
            const std::lock_guard<std::mutex> lock(watcher.mutex);
            handler = watcher.handler;
        }

        if (handler)
            handler();
    }
}

// Requests that came while nobody watched were swallowed; they must not reach a new handler.
void drain_termination_pipe()
{
    pollfd pending { terminationPipe[0], POLLIN, 0 };
    char byte = 0;
    while (poll(&pending, 1, 0) > 0 && (pending.revents & POLLIN) != 0
           && read(terminationPipe[0], &byte, 1) == 1)
    {
    }
}

void stop_watching(TerminationWatcher& watcher)
{
    if (! watcher.thread.joinable())
        return;

    const char byte = stopByte;
    while (write(terminationPipe[1], &byte, 1) != 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    watcher.thread.join();
}
} // namespace

void on_termination_request(std::function<void()> handler)
{
    auto& watcher = termination_watcher();
    const bool watch = static_cast<bool>(handler);

    {
        const std::lock_guard<std::mutex> lock(watcher.mutex);
        watcher.handler = std::move(handler);
    }

    if (! watch)
    {
        stop_watching(watcher);
        return;
    }

    if (! watcher.installed)
    {
        if (! install_termination_signals())
            return;
        watcher.installed = true;
    }

    if (! watcher.thread.joinable())
    {
        drain_termination_pipe();
        watcher.thread = std::thread(watch_termination_pipe);
    }
}

void use_parent_console()
{
    // A Linux program inherits its parent's standard streams.
}

namespace
{
void on_file_size_signal(int) {}
} // namespace

void make_oversized_writes_fail()
{
    // Caught, not ignored: the write then fails with EFBIG, and a program the launcher starts
    // gets the default action back at exec, where an ignored signal would stay ignored.
    struct sigaction action {};
    action.sa_handler = on_file_size_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGXFSZ, &action, nullptr);
}

bool to_console_code_page(const juce::String& text, std::string& bytes)
{
    // The script host reads the batch file's paths as the UTF-8 bytes the OS takes.
    bytes = text.toStdString();
    return true;
}

juce::String console_code_page_name()
{
    return "UTF-8";
}

// The self-update's scripts: no Windows Script Host here, so the launcher ships its own host,
// solvanter-script-host, beside its executable.
bool start_patcher_script(const juce::File& vbsFile)
{
    const auto host = build_info::running_executable().getSiblingFile("solvanter-script-host");
    if (! can_start_program(host))
        return false;

    return scripthost::start_detached({ host.getFullPathName().toStdString(),
                                        vbsFile.getFullPathName().toStdString() },
                                      -1)
        == 0;
}
} // namespace platform

// Names and environment texts are bytes, which the framework takes for UTF-8 on trust. A broken
// sequence makes its byte and character counts disagree and overruns its strings, so these are
// read raw and judged before any of them becomes a juce::String.
namespace platform
{
namespace
{
bool is_text(const char* bytes) { return is_utf8_text(bytes, std::strlen(bytes)); }

bool is_dot_or_dot_dot(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool remove_at(int parentFd, const char* name);

// Removes what it can of what the open folder holds, and closes it.
void empty_folder(int folderFd)
{
    DIR* folder = fdopendir(folderFd);
    if (folder == nullptr)
    {
        close(folderFd);
        return;
    }
    // Read whole before removing: a folder read while it changes may skip names.
    std::vector<std::string> names;
    while (const auto* entry = readdir(folder))
        if (! is_dot_or_dot_dot(entry->d_name))
            names.emplace_back(entry->d_name);

    for (const auto& name : names)
        remove_at(dirfd(folder), name.c_str());
    closedir(folder);
}

bool remove_at(int parentFd, const char* name)
{
    struct stat info {};
    if (fstatat(parentFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (! S_ISDIR(info.st_mode))
        return unlinkat(parentFd, name, 0) == 0 || errno == ENOENT;

    // O_NOFOLLOW: a link put there since is removed as a link, never followed.
    // The folder goes only once nothing is left in it.
    if (const int folderFd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); folderFd >= 0)
        empty_folder(folderFd);
    return unlinkat(parentFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}
} // namespace

bool environment_is_text(juce::String& shown)
{
    const auto judged = [&shown](const char* name, const char* value) {
        if (value == nullptr || is_text(value))
            return true;
        shown = juce::String(name) + "=" + shown_in_log(value, std::strlen(value));
        return false;
    };

    // Without HOME, the framework takes the home folder from the password database.
    if (const char* home = std::getenv("HOME"); home == nullptr)
    {
        if (const auto* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr && ! is_text(user->pw_dir))
        {
            shown = "HOME (unset; the user's home folder)=" + shown_in_log(user->pw_dir, std::strlen(user->pw_dir));
            return false;
        }
    }
    else if (! judged("HOME", home))
        return false;

    return judged("XDG_DATA_HOME", std::getenv("XDG_DATA_HOME")) && judged("JUCE_FONT_PATH", std::getenv("JUCE_FONT_PATH"));
}

juce::StringArray text_names_in(const juce::File& folder)
{
    juce::StringArray names;
    DIR* dir = opendir(folder.getFullPathName().toRawUTF8());
    if (dir == nullptr)
        return names;
    while (const auto* entry = readdir(dir))
        if (! is_dot_or_dot_dot(entry->d_name) && is_text(entry->d_name))
            names.add(juce::String::fromUTF8(entry->d_name));
    closedir(dir);
    return names;
}

bool delete_tree(const juce::File& file)
{
    return remove_at(AT_FDCWD, file.getFullPathName().toRawUTF8());
}
} // namespace platform
