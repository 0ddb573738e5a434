#include "services/utf8_text.h"

#include <algorithm>

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

namespace
{
juce::String text_from_utf16(const unsigned char* data, size_t size, bool bigEndian)
{
    const auto unit = [&](size_t i) -> juce::juce_wchar {
        return bigEndian ? (juce::juce_wchar) ((data[i] << 8) | data[i + 1]) : (juce::juce_wchar) ((data[i + 1] << 8) | data[i]);
    };
    juce::MemoryOutputStream text;
    for (size_t i = 2; i + 1 < size; i += 2)
    {
        auto c = unit(i);
        if (c == 0)
            break;
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < size && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF)
        {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        }
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        text.appendUTF8Char(c);
    }
    return text.toUTF8();
}
} // namespace

juce::String text_from_bytes(const char* bytes, size_t size)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    if (size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF)))
        return text_from_utf16(data, size, data[0] == 0xFE);

    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF)
        data += 3, size -= 3;
    size = (size_t) (std::find(data, data + size, 0) - data);

    if (is_utf8_text(reinterpret_cast<const char*>(data), size))
        return juce::String::fromUTF8(reinterpret_cast<const char*>(data), (int) size);

    juce::MemoryOutputStream text;
    for (size_t i = 0; i < size; ++i)
        text.appendUTF8Char(juce::CharacterFunctions::getUnicodeCharFromWindows1252Codepage(data[i]));
    return text.toUTF8();
}
