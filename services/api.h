#pragma once

#include <juce_core/juce_core.h>

// Backend requests; run on the worker thread, one at a time.

// One GET with a 10 s connection time-out. Returns the parsed JSON reply for every HTTP status
// for which a stream was opened, a void var otherwise; logs every failure itself.
juce::var api_call(const juce::URL& url);

// The "response_data" property of the reply's object, or a void var.
const juce::var& get_response_data(const juce::var& reply);

// True when the API address answers with a "message", or at once when it contains "local".
bool check_api_status(const juce::String& apiUrl);
