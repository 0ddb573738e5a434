#include "engine/EntryNames.h"

#include "platform/platform.h"

std::optional<std::string_view> name_read_otherwise(std::string_view path)
{
    // Separators are ASCII, which no byte of a longer UTF-8 character is.
    for (size_t start = 0; start < path.size();)
    {
        auto end = start;
        while (end < path.size() && ! platform::is_link_target_separator((juce::uint8) path[end]))
            ++end;
        const auto name = path.substr(start, end - start);
        if (! name.empty() && name != "." && name != ".." && ! platform::name_is_read_as_itself(name))
            return name;
        start = end + 1;
    }
    return std::nullopt;
}

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
        if (name.empty() || name == "." || name == ".." || ! platform::name_is_read_as_itself(name))
            return false;
        start = end + 1;
    }
    return true;
}
