#include "engine/EntryNames.h"

#include "platform/platform.h"

bool is_plain_relative_path(std::string_view relative)
{
    if (! is_utf8_text(relative.data(), relative.size()))
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
