#pragma once

#include <cstddef>

#include <juce_core/juce_core.h>

// Text from outside (an archive's names and link targets, versions, paths, reply text, addresses,
// config values, arguments) as it goes into a log line. Any thread may call these.

// The text as shown_as_text writes it (bytes that are not UTF-8 and control characters as
// "\xHH", so that no name can start a line of its own, reach the terminal as an escape sequence
// or make the log something that is not UTF-8), then cut as reply text is (reply_text_for_log),
// never inside an escape. A text of well-formed UTF-8 without control characters, up to
// maxLoggedReplyBytes long, comes back byte for byte.
juce::String shown_in_log(const char* bytes, size_t size);
// The string's own bytes, as the framework holds them (they may not be UTF-8).
juce::String shown_in_log(const juce::String& text);
