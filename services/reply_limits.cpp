#include "services/reply_limits.h"

#include "services/json_walk.h"

bool read_reply_body(juce::InputStream& stream, juce::String& body)
{
    juce::MemoryBlock data;
    // One byte more than allowed tells an oversized (or endless) body from one that fits.
    if (stream.readIntoMemoryBlock(data, maxReplyBytes + 1) > (size_t) maxReplyBytes)
        return false;

    body = juce::String::createStringFromData(data.getData(), (int) data.getSize());
    return true;
}

bool parse_reply(const juce::String& body, juce::var& reply)
{
    const auto walk = walk_json(body, maxReplyDepth);
    if (walk.deepest > maxReplyDepth)
        return false;

    reply = body.isEmpty() || walk.readsPastEnd ? juce::var() : juce::JSON::parse(body);
    return true;
}

juce::String reply_text_for_log(const juce::String& start, size_t bytes, int maxBytes)
{
    if (bytes <= (size_t) maxBytes)
        return start;

    // Cut before a character's continuation bytes, never inside the character.
    const auto* utf8 = start.toRawUTF8();
    auto kept = (size_t) maxBytes;
    while (kept > 0 && (utf8[kept] & 0xc0) == 0x80)
        --kept;
    return juce::String::fromUTF8(utf8, (int) kept) + " [" + juce::String((juce::int64) (bytes - kept))
           + " more bytes not logged]";
}
