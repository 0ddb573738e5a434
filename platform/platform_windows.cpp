// The Win32 calls the launcher makes beyond the framework.
#include "platform/platform.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

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

bool is_link_target_separator(juce::juce_wchar c)
{
    return c == '/' || c == '\\';
}

bool name_is_read_as_itself(std::string_view name)
{
    // Win32 drops a name's trailing dots and blanks on the way to the file system, and a colon
    // starts a stream's name (or ends a drive's).
    if (! name.empty() && (name.back() == '.' || name.back() == ' '))
        return false;
    if (name.find(':') != std::string_view::npos)
        return false;

    // A file named as a device is the device, in any case, also before an extension, with blanks
    // before that extension dropped ("nul.txt", "CON .log"); a folder of that name cannot be made.
    // The list is the one Windows documents as reserved: besides 1-9, the ports also take 0 and
    // the Latin-1 superscripts 1, 2 and 3.
    auto base = name.substr(0, std::min(name.find('.'), name.size()));
    while (! base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    const auto is = [&](std::string_view prefix) {
        return base.size() >= prefix.size()
               && std::equal(prefix.begin(), prefix.end(), base.begin(),
                             [](char a, char b) { return a == (char) std::toupper((unsigned char) b); });
    };
    if (base.size() == 3)
        return ! (is("CON") || is("PRN") || is("AUX") || is("NUL"));
    if (! is("COM") && ! is("LPT"))
        return true;
    const auto port = base.substr(3);
    const bool digit = port.size() == 1 && port[0] >= '0' && port[0] <= '9';
    const bool superscript = port == "\xC2\xB9" || port == "\xC2\xB2" || port == "\xC2\xB3";
    return ! (digit || superscript);
}

bool path_fits(const juce::String& path, bool folder)
{
    // In UTF-16 units, as the wide calls take it.
    const auto units = juce::CharPointer_UTF16::getBytesRequiredFor(path.getCharPointer()) / sizeof(juce::CharPointer_UTF16::CharType);
    return units < (size_t) (folder ? MAX_PATH - 12 : MAX_PATH);
}

PathKind path_kind(const juce::File& file)
{
    // A reparse point is a link or a junction; either leads elsewhere.
    const auto attributes = GetFileAttributesW(file.getFullPathName().toWideCharPointer());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::missing;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return PathKind::link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::folder : PathKind::other;
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
FileLockOutcome try_lock_file(const juce::File& file, std::intptr_t& handle)
{
    // Shared for reading, writing and deleting: only the lock excludes, never the open itself.
    const auto file_handle = CreateFileW(file.getFullPathName().toWideCharPointer(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_handle == INVALID_HANDLE_VALUE)
        return FileLockOutcome::impossible;
    if (GetFileType(file_handle) != FILE_TYPE_DISK)
    {
        CloseHandle(file_handle);
        return FileLockOutcome::impossible;
    }

    OVERLAPPED start {};
    if (LockFileEx(file_handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start))
    {
        handle = reinterpret_cast<std::intptr_t>(file_handle);
        return FileLockOutcome::taken;
    }

    const bool held = GetLastError() == ERROR_LOCK_VIOLATION;
    CloseHandle(file_handle);
    return held ? FileLockOutcome::heldByAnother : FileLockOutcome::impossible;
}

void release_file_lock(std::intptr_t handle)
{
    // Closing the handle drops its lock.
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}
} // namespace platform

namespace platform
{
bool append_to_file(const juce::File& file, const void* data, size_t size)
{
    // Append access alone: each write goes to the file's end as one piece, whoever else appends.
    const auto handle = CreateFileW(file.getFullPathName().toWideCharPointer(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(handle, data, (DWORD) size, &written, nullptr) && written == (DWORD) size;
    CloseHandle(handle);
    return ok;
}

void with_log_lock(const juce::File&, const std::function<void()>& action)
{
    // The log lies in the user's own application-data folder: one name per session will do.
    const auto mutex = CreateMutexW(nullptr, FALSE, L"Local\\SolvanterLauncherLog");
    const auto waited = mutex != nullptr ? WaitForSingleObject(mutex, 2000) : WAIT_FAILED;
    action();
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        ReleaseMutex(mutex);
    if (mutex != nullptr)
        CloseHandle(mutex);
}

bool executable_path_is_text(juce::String& shown)
{
    wchar_t path[32768];
    const auto length = GetModuleFileNameW(nullptr, path, (DWORD) (sizeof path / sizeof path[0]));
    bool text = true;
    juce::String escaped;
    for (DWORD i = 0; i < length; ++i)
    {
        const auto unit = (unsigned) path[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < length && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF)
        {
            escaped << juce::String(juce::CharPointer_UTF16(reinterpret_cast<const juce::CharPointer_UTF16::CharType*>(path + i)), 2);
            ++i;
        }
        else if (high || low)
        {
            text = false;
            escaped << "\\u" << juce::String::toHexString((int) unit).toUpperCase();
        }
        else
            escaped << juce::String::charToString((juce::juce_wchar) unit);
    }
    if (! text)
        shown = escaped;
    return text;
}

bool environment_is_text(juce::String&)
{
    // The framework asks Windows for its folders through wide calls and takes them as UTF-16,
    // whose conversion keeps byte and character counts in step even for a lone surrogate; it
    // finds fonts by name, not by a path from the environment.
    return true;
}

juce::StringArray text_names_in(const juce::File& folder)
{
    // Names come as UTF-16 from the wide calls, so every name is one the framework can hold.
    juce::StringArray names;
    for (const auto& entry : juce::RangedDirectoryIterator(folder, false, "*", juce::File::findFilesAndDirectories))
        names.add(entry.getFile().getFileName());
    return names;
}

bool delete_tree(const juce::File& file)
{
    return file.deleteRecursively();
}

void make_oversized_writes_fail()
{
    // Windows has no file-size limit that ends a process: a write past a quota simply fails.
}

bool to_console_code_page(const juce::String& text, std::string& bytes)
{
    // A new console, like the hidden one Windows Script Host starts cmd in, starts in the OEM code
    // page. No character may be replaced by a look-alike or the default character: the bytes are
    // read back as cmd reads them and must give the very text.
    bytes.clear();
    const auto page = GetOEMCP();
    const std::wstring wide = text.toWideCharPointer();
    if (wide.empty())
        return true;
    const bool utf8 = page == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    const auto size = WideCharToMultiByte(page, flags, wide.data(), (int) wide.size(), nullptr, 0, nullptr,
                                          utf8 ? nullptr : &usedDefault);
    if (size <= 0 || usedDefault)
        return false;
    bytes.resize((size_t) size);
    if (WideCharToMultiByte(page, flags, wide.data(), (int) wide.size(), bytes.data(), size, nullptr,
                            utf8 ? nullptr : &usedDefault)
            != size
        || usedDefault)
        return false;

    const auto units = MultiByteToWideChar(page, 0, bytes.data(), size, nullptr, 0);
    std::wstring readBack((size_t) std::max(units, 0), L'\0');
    return units > 0 && MultiByteToWideChar(page, 0, bytes.data(), size, readBack.data(), units) == units
           && readBack == wide;
}

juce::String console_code_page_name()
{
    return GetOEMCP() == CP_UTF8 ? juce::String("UTF-8") : juce::String((int) GetOEMCP());
}

bool start_patcher_script(const juce::File& vbsFile)
{
    // ShellExecuteW with the file type's default action: Windows Script Host runs the script.
    return vbsFile.startAsProcess();
}
} // namespace platform

// Termination requests. A GUI program has no console of its own: Ctrl+C and Ctrl+Break reach it
// only from the console it reports to (see use_parent_console), on a thread the system starts for
// the call. The usual request is WM_CLOSE (taskkill, or a session ending): the visible window takes
// it as its close button, but the default handling of a hidden window, JUCE's message window or
// the headless run's main window, would only destroy that window. A message hook on the message
// thread turns those into requests.
#include <cstdio>
#include <functional>
#include <mutex>

namespace platform
{
namespace
{
std::mutex terminationMutex;
std::function<void()> terminationHandler;

void request_termination()
{
    // Under the lock, so that once the handler is cleared no call of it is still running.
    const std::lock_guard<std::mutex> lock(terminationMutex);
    if (terminationHandler)
        terminationHandler();
}

BOOL WINAPI on_console_control(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;

    request_termination();
    // Handled, or swallowed once nobody watches: the quit is already under way.
    return TRUE;
}

LRESULT CALLBACK on_get_message(int code, WPARAM action, LPARAM lParam)
{
    auto& message = *reinterpret_cast<MSG*>(lParam);

    if (code == HC_ACTION && action == PM_REMOVE && message.message == WM_CLOSE && message.hwnd != nullptr
        && ! IsWindowVisible(message.hwnd))
    {
        message.message = WM_NULL;

        // taskkill posts one WM_CLOSE to each window of the process: one request for them all.
        MSG next;
        if (! PeekMessageW(&next, nullptr, WM_CLOSE, WM_CLOSE, PM_NOREMOVE | PM_NOYIELD))
            request_termination();
    }

    return CallNextHookEx(nullptr, code, action, lParam);
}
} // namespace

void on_termination_request(std::function<void()> handler)
{
    static const bool installed = [] {
        SetConsoleCtrlHandler(on_console_control, TRUE);
        SetWindowsHookExW(WH_GETMESSAGE, on_get_message, nullptr, GetCurrentThreadId());
        return true;
    }();
    juce::ignoreUnused(installed);

    const std::lock_guard<std::mutex> lock(terminationMutex);
    terminationHandler = std::move(handler);
}

void use_parent_console()
{
    const auto goesSomewhere = [](DWORD which) {
        const auto handle = GetStdHandle(which);
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    };
    // Redirected streams stay where they were sent.
    const bool output = goesSomewhere(STD_OUTPUT_HANDLE), error = goesSomewhere(STD_ERROR_HANDLE);
    if ((output && error) || ! AttachConsole(ATTACH_PARENT_PROCESS))
        return;

    if (! output && std::freopen("CONOUT$", "w", stdout) != nullptr)
        std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (! error && std::freopen("CONOUT$", "w", stderr) != nullptr)
        std::setvbuf(stderr, nullptr, _IONBF, 0);
}
} // namespace platform
