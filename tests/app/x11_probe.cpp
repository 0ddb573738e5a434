#include "x11_probe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace x11_probe
{
namespace
{
struct Connection
{
    Connection() : display(XOpenDisplay(nullptr)) {}
    ~Connection()
    {
        if (display != nullptr)
            XCloseDisplay(display);
    }
    Display* display;
};

int ignore_errors(Display*, XErrorEvent*) { return 0; }

juce::String name_of(Display* display, Window window)
{
    // WM_NAME in any encoding (JUCE writes it as UTF8_STRING, which XFetchName skips).
    XTextProperty property {};
    if (XGetWMName(display, window, &property) == 0 || property.value == nullptr)
        return {};

    const auto text = juce::String::fromUTF8(reinterpret_cast<const char*>(property.value), (int) property.nitems);
    XFree(property.value);
    return text;
}
} // namespace

void ignore_x_errors()
{
    XSetErrorHandler(ignore_errors);
}

juce::String display_name()
{
    const auto* name = getenv("DISPLAY");
    return name != nullptr ? juce::String(name) : juce::String();
}

std::vector<TopLevel> windows_titled(const juce::String& title)
{
    std::vector<TopLevel> found;
    Connection connection;
    if (connection.display == nullptr)
        return found;

    auto* previous = XSetErrorHandler(ignore_errors);
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;

    if (XQueryTree(connection.display, DefaultRootWindow(connection.display), &root, &parent, &children, &count) != 0)
    {
        for (unsigned int i = 0; i < count; ++i)
        {
            if (name_of(connection.display, children[i]) != title)
                continue;

            XWindowAttributes attributes {};
            if (XGetWindowAttributes(connection.display, children[i], &attributes) == 0)
                continue;

            found.push_back({ children[i], attributes.map_state == IsViewable, attributes.x, attributes.y,
                              attributes.width, attributes.height });
        }
        if (children != nullptr)
            XFree(children);
    }

    XSync(connection.display, False);
    XSetErrorHandler(previous);
    return found;
}

bool is_viewable(unsigned long window)
{
    Connection connection;
    if (connection.display == nullptr)
        return false;

    XWindowAttributes attributes {};
    return XGetWindowAttributes(connection.display, (Window) window, &attributes) != 0
           && attributes.map_state == IsViewable;
}

bool send_key(unsigned long window, unsigned long keysym, unsigned int modifiers)
{
    Connection connection;
    if (connection.display == nullptr)
        return false;

    XEvent event {};
    event.xkey.display = connection.display;
    event.xkey.window = (Window) window;
    event.xkey.root = DefaultRootWindow(connection.display);
    event.xkey.subwindow = None;
    event.xkey.time = CurrentTime;
    event.xkey.same_screen = True;
    event.xkey.state = modifiers;
    event.xkey.keycode = XKeysymToKeycode(connection.display, (KeySym) keysym);

    event.type = KeyPress;
    bool sent = XSendEvent(connection.display, (Window) window, True, KeyPressMask, &event) != 0;
    event.type = KeyRelease;
    sent = XSendEvent(connection.display, (Window) window, True, KeyReleaseMask, &event) != 0 && sent;
    XFlush(connection.display);
    return sent;
}

bool send_click(unsigned long window, int x, int y)
{
    Connection connection;
    if (connection.display == nullptr)
        return false;

    XEvent event {};
    event.xbutton.display = connection.display;
    event.xbutton.window = (Window) window;
    event.xbutton.root = DefaultRootWindow(connection.display);
    event.xbutton.subwindow = None;
    event.xbutton.time = CurrentTime;
    event.xbutton.x = x;
    event.xbutton.y = y;
    event.xbutton.same_screen = True;
    event.xbutton.button = Button1;

    XEvent motion {};
    motion.xmotion.type = MotionNotify;
    motion.xmotion.display = connection.display;
    motion.xmotion.window = (Window) window;
    motion.xmotion.root = event.xbutton.root;
    motion.xmotion.x = x;
    motion.xmotion.y = y;
    motion.xmotion.same_screen = True;

    bool sent = XSendEvent(connection.display, (Window) window, True, PointerMotionMask, &motion) != 0;
    event.type = ButtonPress;
    sent = XSendEvent(connection.display, (Window) window, True, ButtonPressMask, &event) != 0 && sent;
    XFlush(connection.display);
    event.type = ButtonRelease;
    event.xbutton.state = Button1Mask;
    sent = XSendEvent(connection.display, (Window) window, True, ButtonReleaseMask, &event) != 0 && sent;
    XFlush(connection.display);
    return sent;
}
} // namespace x11_probe
