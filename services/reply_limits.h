#pragma once

#include <juce_core/juce_core.h>

// What a backend reply may be before it is parsed. Real replies are a few keys of JSON, nested two
// or three levels; anything far beyond that is refused rather than read whole or parsed.

constexpr int maxReplyBytes = 1024 * 1024;
constexpr int maxReplyDepth = 64;
// A reply's text in one log line: enough for any real message, and a retry every 2 s cannot flood
// the log with a megabyte each.
constexpr int maxLoggedReplyBytes = 4096;

// Reads the body as text; false (and body untouched) when it is longer than maxReplyBytes.
bool read_reply_body(juce::InputStream& stream, juce::String& body);

// juce::JSON::parse of the body, unless the parser would nest deeper than maxReplyDepth (it
// recurses once per level and would overflow the stack): then false and reply untouched. A body
// the parser would read beyond the end of gives a void reply, as any other text that is not JSON.
bool parse_reply(const juce::String& body, juce::var& reply);

// A text `bytes` long, of which `start` holds the beginning, as it goes into a log line: all of it
// when it fits in `maxBytes`, otherwise its first `maxBytes` (whole characters; `start` holds at
// least maxBytes + 1 bytes) and how many bytes were left out. The text must be valid UTF-8 (see
// shown_in_log, which gives outside text its form first).
juce::String reply_text_for_log(const juce::String& start, size_t bytes, int maxBytes = maxLoggedReplyBytes);
