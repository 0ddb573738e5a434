// Linux stand-ins for the Win32 calls the launcher makes.
#include "platform/platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

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

void apply_entry_permissions(const juce::ZipFile::ZipEntry& entry, const juce::File& extracted)
{
    // Archives made on Unix keep st_mode in the upper 16 bits of the external attributes.
    const auto mode = (entry.externalFileAttributes >> 16) & 0xFFFFu;
    if (mode == 0 || entry.isSymbolicLink || ! S_ISREG(mode))
        return;

    if (extracted.existsAsFile())
        chmod(extracted.getFullPathName().toRawUTF8(), (mode_t) (mode & 07777u));
}

bool can_start_program(const juce::File& executable)
{
    const auto path = executable.getFullPathName();
    return executable.existsAsFile() && access(path.toRawUTF8(), X_OK) == 0;
}
} // namespace platform
