#pragma once

#include <optional>
#include <string_view>

#include <juce_core/juce_core.h>

#include "services/utf8_text.h"

// What an archive's names must be to reach the OS as they were judged. The framework decodes a
// path's text at more than one step on the way (replacing a character in it, converting it to
// UTF-16 on Windows), and its decoder reads overlong or otherwise invalid UTF-8 as other
// characters: C0 AE becomes a '.', C0 AF a '/'. Well-formed UTF-8 (is_utf8_text) is the same text
// at every step; shown_as_text names a name that is not.

// The first name of `path` (UTF-8, names between the separators the OS reads) that the OS would
// read as another name (see platform::name_is_read_as_itself), or nothing. Empty names, "." and
// "..", which the OS reads as what they are, are left to the walks that resolve them.
std::optional<std::string_view> name_read_otherwise(std::string_view path);

// The last check where a path below a folder meets the OS: `relative`, exactly as it is handed
// over, is UTF-8 text and every name in it, between the separators the OS reads, is a name of
// its own: not empty, "." or "..", and read by the OS as itself.
bool is_plain_relative_path(std::string_view relative);
