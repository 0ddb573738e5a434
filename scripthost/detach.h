#pragma once

#include <string>
#include <vector>

namespace scripthost
{
// Starts command[0] with the other elements as arguments, in the current folder and in a session
// of its own, so that it outlives its starter. Its standard input is /dev/null; its output and
// errors go to outputFd, or to /dev/null when outputFd is negative. Nothing else the starter
// holds open leaks into it. Returns 0 once it runs, or the errno of the failed start.
int start_detached(const std::vector<std::string>& command, int outputFd);
} // namespace scripthost
