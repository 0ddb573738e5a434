#include "scripthost/text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace scripthost
{
std::vector<std::string> split_lines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size())
    {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();

        auto line = text.substr(start, end - start);
        if (! line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

std::string trim(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (! text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (! text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

bool iequals(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
           && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                  return std::tolower((unsigned char) x) == std::tolower((unsigned char) y);
              });
}

bool iends_with(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && iequals(text.substr(text.size() - suffix.size()), suffix);
}

std::optional<std::vector<Token>> tokenize(std::string_view line)
{
    std::vector<Token> tokens;
    std::size_t i = 0;

    while (i < line.size())
    {
        const char c = line[i];
        if (c == ' ' || c == '\t')
        {
            ++i;
            continue;
        }

        Token token;
        if (c == '"')
        {
            const auto close = line.find('"', i + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            token.text = std::string(line.substr(i + 1, close - i - 1));
            token.quoted = true;
            i = close + 1;
            // "a"b is one token to the interpreter; nothing we write looks like that.
            if (i < line.size() && line[i] != ' ' && line[i] != '\t')
                return std::nullopt;
        }
        else
        {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            {
                const char d = line[i];
                if (d == '"' || d == '<' || d == '>' || d == '|' || d == '&' || d == '^')
                    return std::nullopt;
                token.text += d;
                ++i;
            }
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

std::string native_path(std::string_view scriptPath)
{
    std::string path(scriptPath);
    if constexpr (std::filesystem::path::preferred_separator != '\\')
        std::replace(path.begin(), path.end(), '\\', (char) std::filesystem::path::preferred_separator);
    return path;
}

bool stays_in_working_folder(std::string_view scriptPath)
{
    // A colon is a drive ("C:") or a stream name: neither is a plain relative path.
    if (scriptPath.empty() || scriptPath.find(':') != std::string_view::npos)
        return false;

    std::size_t start = 0;
    for (;;)
    {
        const auto end = scriptPath.find_first_of("\\/", start);
        const auto name = scriptPath.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (name.empty() || name == "." || name == "..")
            return false;
        if (end == std::string_view::npos)
            return true;
        start = end + 1;
    }
}
} // namespace scripthost
