#pragma once

// The batch commands the patcher uses, on this OS. Each returns what the Windows command
// interpreter would print, lines ended with CR LF; relative paths are taken from the current folder.

#include <filesystem>
#include <string>

namespace scripthost
{
std::string timeout_message(int seconds);

// move /y: a file or folder; an existing target of either kind is replaced.
std::string move_entry(const std::filesystem::path& source, const std::filesystem::path& target);

// rd /s /q: the folder and everything in it.
std::string remove_folder(const std::filesystem::path& folder);

// A line naming a program: started detached, without arguments; its output goes to outputFd.
std::string start_program(const std::filesystem::path& program, int outputFd);
} // namespace scripthost
