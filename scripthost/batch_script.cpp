#include "scripthost/batch_script.h"

#include "scripthost/text.h"

#include <cctype>
#include <optional>

namespace scripthost
{
namespace
{
bool is_flag(const Token& token, std::string_view flag)
{
    return ! token.quoted && iequals(token.text, flag);
}

// ">file 2>&1 (" with the file bare or quoted.
bool match_block_open(const std::string& line, Statement& s)
{
    if (line.size() < 2 || line.front() != '>' || line.back() != '(')
        return false;

    auto body = trim(std::string_view(line).substr(1, line.size() - 2));
    const std::string both = "2>&1";
    if (body.size() <= both.size() || body.compare(body.size() - both.size(), both.size(), both) != 0)
        return false;
    const char before = body[body.size() - both.size() - 1];
    if (before != ' ' && before != '\t')
        return false;

    body = trim(std::string_view(body).substr(0, body.size() - both.size()));
    const auto file = tokenize(body);
    if (! file || file->size() != 1 || ! stays_in_working_folder(file->front().text))
        return false;

    s.kind = Statement::Kind::open_block;
    s.paths = { native_path(file->front().text) };
    return true;
}

bool match_timeout(const std::vector<Token>& t, Statement& s)
{
    if (t.size() != 3 || ! is_flag(t[0], "timeout") || ! is_flag(t[1], "/t") || t[2].quoted)
        return false;
    const auto& n = t[2].text;
    if (n.empty() || n.size() > 5)
        return false;
    for (char c : n)
        if (! std::isdigit((unsigned char) c))
            return false;

    s.kind = Statement::Kind::timeout;
    s.seconds = std::stoi(n);
    return true;
}

bool match_echo(const std::string& line, Statement& s)
{
    // "echo" and a blank, then the text as it stands; without operators, which would redirect.
    if (line.size() < 6 || ! iequals(std::string_view(line).substr(0, 4), "echo") || line[4] != ' ')
        return false;
    const auto text = line.substr(5);
    if (text.find_first_of("<>|&^") != std::string::npos)
        return false;

    s.kind = Statement::Kind::echo;
    s.text = text;
    return true;
}

bool match_move(const std::vector<Token>& t, Statement& s)
{
    if (t.size() != 4 || ! is_flag(t[0], "move") || ! is_flag(t[1], "/y"))
        return false;
    if (! stays_in_working_folder(t[2].text) || ! stays_in_working_folder(t[3].text))
        return false;

    s.kind = Statement::Kind::move;
    s.paths = { native_path(t[2].text), native_path(t[3].text) };
    return true;
}

bool match_rd(const std::vector<Token>& t, Statement& s)
{
    if (t.size() != 4 || ! is_flag(t[0], "rd"))
        return false;

    std::string folder;
    bool recursive = false, quiet = false;
    for (std::size_t i = 1; i < t.size(); ++i)
    {
        if (is_flag(t[i], "/s") && ! recursive)
            recursive = true;
        else if (is_flag(t[i], "/q") && ! quiet)
            quiet = true;
        else if (folder.empty() && ! t[i].text.empty() && t[i].text.front() != '/')
            folder = t[i].text;
        else
            return false;
    }
    if (! recursive || ! quiet || ! stays_in_working_folder(folder))
        return false;

    s.kind = Statement::Kind::remove_folder;
    s.paths = { native_path(folder) };
    return true;
}

// As the interpreter reads a batch file: "%%" is one percent sign. A single one starts a variable,
// which the patcher never writes.
std::optional<std::string> without_percent_escapes(const std::string& line)
{
    std::string result;
    for (std::size_t i = 0; i < line.size(); ++i)
    {
        if (line[i] == '%' && (i + 1 == line.size() || line[++i] != '%'))
            return std::nullopt;
        result += line[i];
    }
    return result;
}

bool match_program(const std::vector<Token>& t, Statement& s)
{
    if (t.size() != 1 || ! t[0].quoted || t[0].text.empty())
        return false;

    s.kind = Statement::Kind::start_program;
    s.paths = { native_path(t[0].text) };
    return true;
}
} // namespace

Statement read_statement(std::string_view rawLine)
{
    Statement s;
    s.line = trim(rawLine);

    if (s.line == ")")
    {
        s.kind = Statement::Kind::close_block;
        return s;
    }

    const auto line = without_percent_escapes(s.line);
    if (line && (match_block_open(*line, s) || match_echo(*line, s)))
        return s;

    const auto tokens = line ? tokenize(*line) : std::nullopt;
    if (tokens && (match_timeout(*tokens, s) || match_move(*tokens, s) || match_rd(*tokens, s)
                   || match_program(*tokens, s)))
        return s;

    s.kind = Statement::Kind::unknown;
    s.paths.clear();
    return s;
}

BatchReading read_batch(std::string_view text)
{
    BatchReading reading;
    bool inBlock = false;
    int lineNumber = 0;

    for (const auto& rawLine : split_lines(text))
    {
        ++lineNumber;
        if (trim(rawLine).empty())
            continue;

        auto statement = read_statement(rawLine);
        if (statement.kind == Statement::Kind::unknown)
            return { false, {}, "line " + std::to_string(lineNumber) + ": not a command of the patcher: " + statement.line };
        if (statement.kind == Statement::Kind::open_block)
        {
            if (inBlock)
                return { false, {}, "line " + std::to_string(lineNumber) + ": nested block" };
            inBlock = true;
        }
        else if (statement.kind == Statement::Kind::close_block)
        {
            if (! inBlock)
                return { false, {}, "line " + std::to_string(lineNumber) + ": ) without a block" };
            inBlock = false;
        }
        reading.statements.push_back(std::move(statement));
    }

    if (inBlock)
        return { false, {}, "the block is not closed" };

    reading.ok = true;
    return reading;
}
} // namespace scripthost
