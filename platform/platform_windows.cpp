// The Win32 calls the launcher makes beyond the framework.
#include "platform/platform.h"

#include <windows.h>

namespace platform
{
bool display_available()
{
    // A Windows session always has a desktop to show windows on.
    return true;
}

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
    return vbsFile.startAsProcess();
}
} // namespace platform

// Termination requests: Ctrl+C and Ctrl+Break in the console the launcher was started from. The
// system calls the console handler on a thread of its own, so the launcher's handler runs there.
#include <functional>
#include <mutex>

namespace platform
{
namespace
{
std::mutex terminationMutex;
std::function<void()> terminationHandler;

BOOL WINAPI on_console_control(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;

    // Under the lock, so that once the handler is cleared no call of it is still running.
    const std::lock_guard<std::mutex> lock(terminationMutex);
    if (terminationHandler)
        terminationHandler();
    // Handled, or swallowed once nobody watches: the quit is already under way.
    return TRUE;
}
} // namespace

void on_termination_request(std::function<void()> handler)
{
    static const bool installed = SetConsoleCtrlHandler(on_console_control, TRUE) != 0;
    juce::ignoreUnused(installed);

    const std::lock_guard<std::mutex> lock(terminationMutex);
    terminationHandler = std::move(handler);
}
} // namespace platform
