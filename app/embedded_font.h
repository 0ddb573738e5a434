#pragma once

#include <juce_graphics/juce_graphics.h>

// The compiled-in TrueType font, built during static initialisation. Read it; change only copies.
extern const juce::Font embedded_font;
