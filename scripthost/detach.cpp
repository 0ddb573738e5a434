#include "scripthost/detach.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace scripthost
{
namespace
{
// After fork only async-signal-safe calls: no allocation below.
void report_and_exit(int pipeFd, int error, int code)
{
    [[maybe_unused]] auto written = write(pipeFd, &error, sizeof error);
    _exit(code);
}

// Nothing the host holds open (the block's output file, other descriptors) leaks into the program.
void close_descriptors_on_exec(int from)
{
#ifdef SYS_close_range
    if (syscall(SYS_close_range, (unsigned) from, ~0u, 4u /* CLOSE_RANGE_CLOEXEC */) == 0)
        return;
#endif
    const long limit = sysconf(_SC_OPEN_MAX);
    for (int fd = from; fd < (limit > 0 && limit < 65536 ? limit : 65536); ++fd)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
}
} // namespace

int start_detached(const std::vector<std::string>& command, int outputFd)
{
    if (command.empty())
        return EINVAL;

    std::vector<char*> argv;
    for (const auto& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0)
        return errno;

    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0)
    {
        const int error = errno;
        close(errorPipe[0]);
        close(errorPipe[1]);
        return error;
    }

    const pid_t child = fork();
    if (child == 0)
    {
        close(errorPipe[0]);
        setsid();

        const pid_t grandchild = fork();
        if (grandchild < 0)
            report_and_exit(errorPipe[1], errno, 1);
        if (grandchild > 0)
            _exit(0);

        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);

        const int output = outputFd >= 0 ? outputFd : devNull;
        if (dup2(devNull, STDIN_FILENO) < 0 || dup2(output, STDOUT_FILENO) < 0
            || dup2(output, STDERR_FILENO) < 0)
            report_and_exit(errorPipe[1], errno, 1);

        close_descriptors_on_exec(3);
        execv(argv[0], argv.data());
        report_and_exit(errorPipe[1], errno, 127);
    }

    const int forkError = child < 0 ? errno : 0;
    close(errorPipe[1]);
    close(devNull);

    if (child > 0)
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {}

    // The pipe closes without a byte once the program has replaced the child.
    int error = forkError;
    if (child > 0)
    {
        ssize_t n;
        while ((n = read(errorPipe[0], &error, sizeof error)) < 0 && errno == EINTR) {}
        if (n != (ssize_t) sizeof error)
            error = 0;
    }
    close(errorPipe[0]);
    return error;
}
} // namespace scripthost
