#pragma once

#include <string_view>

#include <juce_core/juce_core.h>

// What an archive's names must be to reach the OS as they were judged. The framework decodes a
// path's text at more than one step on the way (replacing a character in it, converting it to
// UTF-16 on Windows), and its decoder reads overlong or otherwise invalid UTF-8 as other
// characters: C0 AE becomes a '.', C0 AF a '/'. Valid UTF-8 is the same text at every step.

// Whether `text` is valid UTF-8: shortest forms only, no surrogates, nothing beyond U+10FFFF.
bool is_valid_utf8(std::string_view text);

// `text` for a message: valid UTF-8 as it is, every other byte written as \xNN.
juce::String printable(std::string_view text);

// The last check where a path below a folder meets the OS: `relative`, exactly as it is handed
// over, is valid UTF-8 and every name in it, between the separators the OS reads, is a name of
// its own: not empty, "." or "..".
bool is_plain_relative_path(std::string_view relative);
