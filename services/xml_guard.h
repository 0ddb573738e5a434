#pragma once

#include <juce_core/juce_core.h>

// juce::XmlDocument follows a DTD (its entities may name files to read or expand each other
// without end) and parses nested elements by recursion, one stack frame per level. This judges a
// text before it is given to juce::XmlDocument: an empty result when the parse is safe, otherwise
// why not ("a DTD", "a character reference to no Unicode character", "elements nested deeper
// than ...", ...). An unknown entity is no reason: without a DTD the parser reads it as its name.
// The text must be valid UTF-8.
juce::String xml_refusal(const juce::String& text, int maxDepth);

// The refusal of an entity reference without its ';': the parser reads on to the text's end from
// each such '&' and then fails, so such a text is no markup, only slow to find so.
inline constexpr const char* xml_unended_entity = "an entity reference without its ';'";
