#include "services/utf8_text.h"

namespace
{
// The length of the well-formed sequence at bytes[0], or 0 when there is none (RFC 3629).
size_t sequence_length(const unsigned char* bytes, size_t size)
{
    const auto lead = bytes[0];
    if (lead >= 0x01 && lead <= 0x7F)
        return 1;

    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    }
    else
        return 0;

    if (size < length || bytes[1] < low || bytes[1] > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if ((bytes[i] & 0xC0) != 0x80)
            return 0;
    return length;
}
} // namespace

bool is_utf8_text(const char* bytes, size_t size)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < size;)
    {
        const auto length = sequence_length(data + i, size - i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

juce::String shown_as_text(const char* bytes, size_t size)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    juce::MemoryOutputStream shown;
    for (size_t i = 0; i < size;)
    {
        const auto length = sequence_length(data + i, size - i);
        // A control character (C0, DEL, C1) would end the line, move the cursor or start a
        // terminal's escape sequence.
        const bool control = (length == 1 && (data[i] < 0x20 || data[i] == 0x7F))
                             || (length == 2 && data[i] == 0xC2 && data[i + 1] <= 0x9F);
        if (length > 0 && ! control)
        {
            shown.write(data + i, length);
            i += length;
            continue;
        }
        for (const auto end = i + juce::jmax(length, (size_t) 1); i < end; ++i)
        {
            const char escaped[] { '\\', 'x', "0123456789ABCDEF"[data[i] >> 4], "0123456789ABCDEF"[data[i] & 15] };
            shown.write(escaped, sizeof escaped);
        }
    }
    return shown.toUTF8();
}
