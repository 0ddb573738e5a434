#pragma once

#include <juce_core/juce_core.h>

// The addresses the launcher opens, and the text that goes into them.

// Whether the transport would fetch `address` over HTTP or HTTPS: it must begin with "http://" or
// "https://" (in any case). The transport takes other schemes too (file:, ftp:, telnet:, ...) and
// guesses one for an address without any, ftp: for a host named "ftp.*".
bool is_web_address(const juce::String& address);

// `text` as exactly one path segment: every byte of its UTF-8 but letters, digits and "-._~"
// percent-escaped, and a segment of only "." or ".." escaped whole, which the transport would
// otherwise resolve as a step.
juce::String path_segment(const juce::String& text);

// The address a redirect's "Location" leads to from `address`, resolved as a browser resolves a
// reference (absolute, "//host...", "/path", "?query" or relative to the current folder).
juce::String redirect_target(const juce::String& address, const juce::String& location);

// HTTP statuses that redirect a GET.
bool is_redirect_status(int statusCode);
