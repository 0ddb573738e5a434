#pragma once

#include <juce_graphics/juce_graphics.h>

// The compiled-in TrueType font. Built on first use, not during static initialisation: that could
// run before the framework's own static objects exist (the order depends on the link). Read it;
// change only copies.
const juce::Font& embedded_font();
