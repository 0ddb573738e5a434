#pragma once

// Small text helpers shared by the two script readers.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scripthost
{
// Lines of a script: LF or CR LF ends, a missing final line end is fine.
std::vector<std::string> split_lines(std::string_view text);

std::string trim(std::string_view text);
bool iequals(std::string_view a, std::string_view b);
bool iends_with(std::string_view text, std::string_view suffix);

struct Token
{
    std::string text;   // without its quotes
    bool quoted = false;
};

// Splits a command line on blanks and tabs; a double-quoted run is one token. Returns nothing for
// text the readers do not handle: an unbalanced quote, a quote inside a token, or one of the
// interpreter's operators (< > | & ^) outside quotes.
std::optional<std::vector<Token>> tokenize(std::string_view line);

// A path as the scripts write it, with backslashes, turned into this OS's form.
std::string native_path(std::string_view scriptPath);

// Whether a script's path stays inside the working folder: relative (no drive, no leading
// separator), made of names separated by one backslash or slash, none of them "." or "..".
bool stays_in_working_folder(std::string_view scriptPath);
} // namespace scripthost
