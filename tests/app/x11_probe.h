#pragma once

#include <vector>

#include <juce_core/juce_core.h>

// A few direct looks at the X display the tests run on (DISPLAY), independent of JUCE.
namespace x11_probe
{
juce::String display_name();  // the DISPLAY of this test process, or empty

struct TopLevel
{
    unsigned long id = 0;
    bool viewable = false;
    int x = 0, y = 0, width = 0, height = 0;
};

// Makes X protocol errors harmless for the whole test program, as a JUCE application's own
// handler does (a test program is not one, so Xlib's default handler would end it).
void ignore_x_errors();

// The root window's children whose name is exactly `title`.
std::vector<TopLevel> windows_titled(const juce::String& title);

// Whether this X window is mapped and viewable.
bool is_viewable(unsigned long window);

// Sends a key press and release of `keysym` (an X keysym) to the window.
bool send_key(unsigned long window, unsigned long keysym, unsigned int modifiers = 0);

// Sends a left-button press and release at (x, y) inside the window.
bool send_click(unsigned long window, int x, int y);
} // namespace x11_probe
