#include "engine/EntryNames.h"

#include "platform/platform.h"

namespace
{
// The length of the valid UTF-8 sequence at `at`, 0 when there is none.
size_t sequence_at(std::string_view text, size_t at)
{
    const auto lead = (juce::uint8) text[at];
    if (lead < 0x80)
        return 1;
    // The range of the second byte narrows where a lead byte alone would allow an overlong form,
    // a surrogate or a character beyond U+10FFFF.
    size_t length = 0;
    juce::uint8 low = 0x80, high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef)
    {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    }
    else if (lead >= 0xf0 && lead <= 0xf4)
    {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    }
    if (length == 0 || text.size() - at < length)
        return 0;
    for (size_t i = 1; i < length; ++i)
    {
        const auto next = (juce::uint8) text[at + i];
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xbf))
            return 0;
    }
    return length;
}
} // namespace

bool is_valid_utf8(std::string_view text)
{
    for (size_t at = 0; at < text.size();)
    {
        const auto length = sequence_at(text, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

juce::String printable(std::string_view text)
{
    std::string shown;
    for (size_t at = 0; at < text.size();)
    {
        if (const auto length = sequence_at(text, at); length > 0)
        {
            shown.append(text.data() + at, length);
            at += length;
            continue;
        }
        static const char hex[] = "0123456789ABCDEF";
        const auto byte = (juce::uint8) text[at++];
        shown += { '\\', 'x', hex[byte >> 4], hex[byte & 15] };
    }
    return juce::String::fromUTF8(shown.data(), (int) shown.size());
}

bool is_plain_relative_path(std::string_view relative)
{
    if (! is_valid_utf8(relative))
        return false;
    // Separators are ASCII, which no byte of a longer UTF-8 character is.
    for (size_t start = 0; start <= relative.size();)
    {
        auto end = start;
        while (end < relative.size() && ! platform::is_link_target_separator((juce::uint8) relative[end]))
            ++end;
        const auto name = relative.substr(start, end - start);
        if (name.empty() || name == "." || name == "..")
            return false;
        start = end + 1;
    }
    return true;
}
