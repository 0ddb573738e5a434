#include "services/reply_limits.h"

bool read_reply_body(juce::InputStream& stream, juce::String& body)
{
    juce::MemoryBlock data;
    // One byte more than allowed tells an oversized (or endless) body from one that fits.
    if (stream.readIntoMemoryBlock(data, maxReplyBytes + 1) > (size_t) maxReplyBytes)
        return false;

    body = juce::String::createStringFromData(data.getData(), (int) data.getSize());
    return true;
}

bool nested_too_deeply(const juce::String& json)
{
    int depth = 0;
    bool inString = false, escaped = false;
    for (auto* c = json.toRawUTF8(); *c != 0; ++c)
    {
        if (inString)
        {
            if (escaped)
                escaped = false;
            else if (*c == '\\')
                escaped = true;
            else if (*c == '"')
                inString = false;
        }
        else if (*c == '"')
            inString = true;
        else if (*c == '[' || *c == '{')
        {
            if (++depth > maxReplyDepth)
                return true;
        }
        else if (*c == ']' || *c == '}')
            --depth;
    }
    return false;
}
