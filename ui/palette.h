#pragma once

#include <juce_graphics/juce_graphics.h>

// The fixed colours of every painted part.
namespace Palette
{
inline const juce::Colour background { 0xFF1B1C1E };
inline const juce::Colour foreground { 0xFFE9EAEF };
inline const juce::Colour accent { 0xFF00D397 };
inline const juce::Colour error { 0xFFFF7548 };
inline const juce::Colour warning { 0xFFFFC74D };
inline const juce::Colour surface { 0xFF2E2F35 };
inline const juce::Colour midGrey { 0xFF585A60 };
inline const juce::Colour lightGrey { 0xFF8C919D };
inline const juce::Colour link { 0xFF1DBFFF };
} // namespace Palette
