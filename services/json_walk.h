#pragma once

#include <juce_core/juce_core.h>

// What juce::JSON::parse would do with a text, found without recursion and without building
// anything. The framework's parser recurses once per level of arrays and objects, so a reply must
// be judged before it is parsed, and by the parser's own grammar: single-quoted strings and their
// escapes, and a "-" that takes the next character as its first digit whatever it is (a quote or a
// bracket then starts nothing).
struct JsonWalk
{
    // The deepest the parser nests before it ends or fails, counted up to stopAtDepth + 1.
    int deepest = 0;
    // The parser would read beyond the text's end: a "-" with nothing after it.
    bool readsPastEnd = false;
};

JsonWalk walk_json(const juce::String& json, int stopAtDepth);
