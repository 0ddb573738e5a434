// solvanter-script-host: runs the launcher's self-update scripts where Windows Script Host and the
// Windows command interpreter are missing. Usage: solvanter-script-host <patcher.vbs>
// It refuses any script but the patcher's; the batch file is taken from the working directory.
#include "scripthost/batch_runner.h"
#include "scripthost/text.h"
#include "scripthost/vbs_script.h"

#include <csignal>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include <unistd.h>

namespace
{
std::optional<std::string> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (! in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);

    if (argc != 2)
    {
        std::cerr << "usage: solvanter-script-host <script.vbs>\n";
        return 2;
    }

    const auto vbsText = read_file(argv[1]);
    if (! vbsText)
    {
        std::cerr << "cannot read " << argv[1] << "\n";
        return 2;
    }

    const auto vbs = scripthost::read_patcher_vbs(*vbsText);
    if (! vbs.ok)
    {
        std::cerr << argv[1] << ": " << vbs.error << "\n";
        return 2;
    }

    // The shell would start the interpreter and not wait; this host simply becomes it.
    const auto batchPath = scripthost::native_path(vbs.batchFile);
    const auto batchText = read_file(batchPath);
    if (! batchText)
    {
        std::cerr << "cannot read " << batchPath << "\n";
        return 3;
    }

    const auto batch = scripthost::read_batch(*batchText);
    if (! batch.ok)
    {
        std::cerr << batchPath << ": " << batch.error << "\n";
        return 3;
    }

    scripthost::BatchRunner runner(STDOUT_FILENO);
    runner.run(batch.statements);
    return 0;
}
