#pragma once

#include <string>

namespace scripthost
{
// Starts a program with no arguments in the current folder, in a session of its own, so that it
// outlives the host. Its standard input is /dev/null; its output and errors go to outputFd.
// Returns 0 once it runs, or the errno of the failed start.
int start_detached(const std::string& program, int outputFd);
} // namespace scripthost
