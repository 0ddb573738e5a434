#pragma once

#include <juce_core/juce_core.h>

// What a backend reply may be before it is parsed. Real replies are a few keys of JSON, nested two
// or three levels; anything far beyond that is refused rather than read whole or parsed.

constexpr int maxReplyBytes = 1024 * 1024;
constexpr int maxReplyDepth = 64;

// Reads the body as text; false (and body untouched) when it is longer than maxReplyBytes.
bool read_reply_body(juce::InputStream& stream, juce::String& body);

// Whether the JSON text nests arrays and objects deeper than maxReplyDepth. The framework's parser
// recurses once per level, so a deep enough reply would overflow the stack.
bool nested_too_deeply(const juce::String& json);
