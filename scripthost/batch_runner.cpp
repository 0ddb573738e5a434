#include "scripthost/batch_runner.h"

#include "scripthost/batch_commands.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace scripthost
{
BatchRunner::BatchRunner(int consoleFd_, Sleep sleep_) : consoleFd(consoleFd_), sleep(std::move(sleep_))
{
    if (! sleep)
        sleep = [](int seconds) { std::this_thread::sleep_for(std::chrono::seconds(seconds)); };
}

BatchRunner::~BatchRunner()
{
    close_block();
}

void BatchRunner::run(const std::vector<Statement>& statements)
{
    for (const auto& s : statements)
        run_statement(s);
    close_block();
}

void BatchRunner::run_statement(const Statement& s)
{
    using Kind = Statement::Kind;

    if (s.kind == Kind::open_block)
        return open_block(s);
    if (s.kind == Kind::close_block)
        return close_block();
    if (skippingBlock)
        return;

    switch (s.kind)
    {
        case Kind::timeout:
            write(timeout_message(s.seconds));
            sleep(s.seconds);
            break;
        case Kind::echo:
            write(s.text + "\r\n");
            break;
        case Kind::move:
            write(move_entry(s.paths[0], s.paths[1]));
            break;
        case Kind::remove_folder:
            write(remove_folder(s.paths[0]));
            break;
        case Kind::start_program:
            write(start_program(s.paths[0], output_fd()));
            break;
        case Kind::unknown:  // read_batch refuses a script that holds one
        case Kind::open_block:
        case Kind::close_block:
            break;
    }
}

void BatchRunner::open_block(const Statement& s)
{
    close_block();
    blockFd = ::open(s.paths[0].c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (blockFd >= 0)
        return;

    // As with the interpreter, a block whose output cannot be opened does not run.
    const int error = errno;
    write(error == ENOENT || error == ENOTDIR ? "The system cannot find the path specified.\r\n"
                                              : "Access is denied.\r\n");
    skippingBlock = true;
}

void BatchRunner::close_block()
{
    if (blockFd >= 0)
        ::close(blockFd);
    blockFd = -1;
    skippingBlock = false;
}

int BatchRunner::output_fd() const
{
    return blockFd >= 0 ? blockFd : consoleFd;
}

void BatchRunner::write(const std::string& text)
{
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0)
    {
        const auto n = ::write(output_fd(), data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        left -= (std::size_t) n;
    }
}
} // namespace scripthost
