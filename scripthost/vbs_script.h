#pragma once

// Reads the patcher's VBScript: it only creates a WScript.Shell and runs "cmd /c <file>.bat", the
// batch file inside the working folder, hidden (window style 0) without waiting. Any other script
// is refused as a whole.

#include <string>
#include <string_view>

namespace scripthost
{
struct VbsReading
{
    bool ok = false;
    std::string batchFile;  // as written in the command, relative to the working directory
    std::string error;      // why the script was refused
};

VbsReading read_patcher_vbs(std::string_view text);
} // namespace scripthost
