// The Win32 calls the launcher makes beyond the framework.
#include "platform/platform.h"

#include <windows.h>

namespace platform
{
bool top_level_window_exists(const juce::String& title)
{
    return FindWindowA(nullptr, title.toStdString().c_str()) != nullptr;
}

void apply_entry_permissions(const juce::ZipFile::ZipEntry&, const juce::File&)
{
    // Windows decides what may run by the file name, not by permission bits.
}

bool can_start_program(const juce::File& executable)
{
    // CreateProcessW itself reports a program that cannot start.
    return executable.existsAsFile();
}

bool start_program(juce::ChildProcess& process, const juce::StringArray& command)
{
    return process.start(command);
}
} // namespace platform

namespace platform
{
bool start_patcher_script(const juce::File& vbsFile)
{
    // ShellExecuteW with the file type's default action: Windows Script Host runs the script.
    return vbsFile.existsAsFile() && vbsFile.startAsProcess();
}
} // namespace platform
