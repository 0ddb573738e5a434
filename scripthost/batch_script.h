#pragma once

// Reads the patcher's batch file into statements. It knows the few commands that the patcher
// writes, with paths that stay inside the working folder; any other line is an `unknown`
// statement, and a script holding one is refused as a whole before anything runs. As in any batch
// file, "%%" stands for a percent sign; a single one makes the line unknown.

#include <string>
#include <string_view>
#include <vector>

namespace scripthost
{
struct Statement
{
    enum class Kind
    {
        open_block,     // >file 2>&1 (   output of the block's commands replaces `file`
        close_block,    // )
        timeout,        // timeout /t N
        echo,           // echo text
        move,           // move /y "source" "target"
        remove_folder,  // rd "folder" /s /q
        start_program,  // "path of a program"
        unknown
    };

    Kind kind = Kind::unknown;
    std::string line;                // the line as written, trimmed
    std::vector<std::string> paths;  // native paths: the block's file, move's two, rd's one, the program
    std::string text;                // echo's text
    int seconds = 0;                 // timeout's wait
};

struct BatchReading
{
    bool ok = false;
    std::vector<Statement> statements;
    std::string error;  // an unknown line or a broken block structure: nothing runs
};

Statement read_statement(std::string_view line);
BatchReading read_batch(std::string_view text);
} // namespace scripthost
