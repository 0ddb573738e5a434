#include "scripthost/vbs_script.h"

#include "scripthost/text.h"

#include <cctype>
#include <map>
#include <set>

namespace scripthost
{
namespace
{
// VBScript names and keywords compare without case.
std::string lower(std::string_view text)
{
    std::string out(text);
    for (auto& c : out)
        c = (char) std::tolower((unsigned char) c);
    return out;
}

class Cursor
{
public:
    explicit Cursor(std::string_view text) : rest(text) { skip_blanks(); }

    bool at_end() const { return rest.empty(); }

    bool identifier(std::string& out)
    {
        std::size_t n = 0;
        while (n < rest.size() && (std::isalnum((unsigned char) rest[n]) || rest[n] == '_'))
            ++n;
        if (n == 0 || std::isdigit((unsigned char) rest[0]))
            return false;
        out = lower(rest.substr(0, n));
        advance(n);
        return true;
    }

    bool keyword(std::string_view word)
    {
        const auto saved = rest;
        std::string found;
        if (identifier(found) && found == word)
            return true;
        rest = saved;
        return false;
    }

    bool symbol(char c)
    {
        if (rest.empty() || rest.front() != c)
            return false;
        advance(1);
        return true;
    }

    // A string literal without doubled quotes inside: nothing we write has any.
    bool string_literal(std::string& out)
    {
        if (rest.empty() || rest.front() != '"')
            return false;
        const auto close = rest.find('"', 1);
        if (close == std::string_view::npos || (close + 1 < rest.size() && rest[close + 1] == '"'))
            return false;
        out = std::string(rest.substr(1, close - 1));
        advance(close + 1);
        return true;
    }

    bool integer(long& out)
    {
        std::size_t n = 0;
        while (n < rest.size() && std::isdigit((unsigned char) rest[n]))
            ++n;
        if (n == 0 || n > 6)
            return false;
        out = std::stol(std::string(rest.substr(0, n)));
        advance(n);
        return true;
    }

private:
    void advance(std::size_t n)
    {
        rest.remove_prefix(n);
        skip_blanks();
    }

    void skip_blanks()
    {
        while (! rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
    }

    std::string_view rest;
};

// "cmd /c <file>.bat" with the batch file inside the working folder, and nothing else.
bool batch_file_of_command(const std::string& command, std::string& batchFile)
{
    const auto tokens = tokenize(command);
    if (! tokens || tokens->size() != 3)
        return false;

    const auto& t = *tokens;
    if (! iequals(t[0].text, "cmd") || t[0].quoted || ! iequals(t[1].text, "/c") || t[1].quoted)
        return false;
    if (! iends_with(t[2].text, ".bat") || t[2].text.size() <= 4 || ! stays_in_working_folder(t[2].text))
        return false;

    batchFile = t[2].text;
    return true;
}

VbsReading refuse(std::size_t lineIndex, const std::string& why)
{
    return { false, {}, "line " + std::to_string(lineIndex + 1) + ": " + why };
}
} // namespace

VbsReading read_patcher_vbs(std::string_view text)
{
    std::set<std::string> shells;                  // variables holding a WScript.Shell
    std::map<std::string, std::string> strings;   // variables holding a string
    std::string command;
    bool ran = false;

    const auto lines = split_lines(text);
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        Cursor cursor(lines[i]);
        if (cursor.at_end())
            continue;

        std::string name;
        if (cursor.keyword("set"))
        {
            std::string progId;
            if (! cursor.identifier(name) || ! cursor.symbol('=') || ! cursor.keyword("createobject")
                || ! cursor.symbol('(') || ! cursor.string_literal(progId) || ! cursor.symbol(')')
                || ! cursor.at_end())
                return refuse(i, "unsupported Set statement");
            if (! iequals(progId, "WScript.Shell"))
                return refuse(i, "unsupported object " + progId);
            strings.erase(name);
            shells.insert(name);
            continue;
        }

        if (cursor.keyword("dim"))
        {
            if (! cursor.identifier(name) || ! cursor.at_end())
                return refuse(i, "unsupported Dim statement");
            continue;
        }

        if (! cursor.identifier(name))
            return refuse(i, "unsupported statement");

        if (cursor.symbol('='))
        {
            std::string value;
            if (! cursor.string_literal(value) || ! cursor.at_end())
                return refuse(i, "unsupported assignment");
            shells.erase(name);
            strings[name] = value;
            continue;
        }

        // <shell>.Run <command>, 0, false
        std::string argument;
        long windowStyle = -1;
        if (! cursor.symbol('.') || ! cursor.keyword("run"))
            return refuse(i, "unsupported statement");
        if (shells.count(name) == 0)
            return refuse(i, "Run on an object that is not a WScript.Shell");

        if (cursor.identifier(argument))
        {
            const auto found = strings.find(argument);
            if (found == strings.end())
                return refuse(i, "Run with an unassigned variable");
            argument = found->second;
        }
        else if (! cursor.string_literal(argument))
            return refuse(i, "unsupported Run argument");

        if (! cursor.symbol(',') || ! cursor.integer(windowStyle) || ! cursor.symbol(',')
            || ! cursor.keyword("false") || ! cursor.at_end())
            return refuse(i, "Run must be hidden and must not wait");
        if (windowStyle != 0)
            return refuse(i, "Run must be hidden and must not wait");
        if (ran)
            return refuse(i, "more than one Run");

        if (! batch_file_of_command(argument, command))
            return refuse(i, "unsupported command: " + argument);
        ran = true;
    }

    if (! ran)
        return { false, {}, "the script runs nothing" };
    return { true, command, {} };
}
} // namespace scripthost
