#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <juce_core/juce_core.h>

// The few things the launcher needs from the operating system beyond the framework.
// One implementation file per OS; the engine never tests the OS itself.
namespace platform
{
// Whether a window can be shown at all: on Linux, whether the X display named by DISPLAY opens.
bool display_available();

// Whether a top-level window with exactly this title exists. Worker thread.
bool top_level_window_exists(const juce::String& title);

// Gives an extracted file the permission bits its ZIP entry carries, where it carries any.
void apply_entry_permissions(const juce::ZipFile::ZipEntry& entry, const juce::File& extracted);

// Whether the OS reads this character of a link's target, or of a path, as a separator between
// names: on Linux only '/', on Windows the backslash as well. A '~' is a name like any other on both.
bool is_link_target_separator(juce::juce_wchar c);

// Whether the OS reads this one name of a path (UTF-8, no separator, not "." or "..") as exactly
// this name. Windows drops a name's trailing dots and blanks, reads a ':' as a drive or a stream,
// and a device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, also with an extension) as the device; on
// Linux every such name is itself.
bool name_is_read_as_itself(std::string_view name);

// Whether the OS takes a path this long, whole as the launcher hands it over: one for a folder to
// be made (`folder`), or for a file or link. Linux: PATH_MAX bytes with the closing NUL. Windows,
// where the launcher is not long-path aware: MAX_PATH characters with it, 12 fewer for a folder.
bool path_fits(const juce::String& path, bool folder);

// What is at a path, without following a link there.
enum class PathKind
{
    missing,  // nothing, or a path the OS cannot reach
    link,
    folder,
    other
};
PathKind path_kind(const juce::File& file);

// Whether the OS could start this file as a program (it exists and may be executed).
bool can_start_program(const juce::File& executable);

// Starts command[0] with the other elements as arguments; false when the OS cannot start it.
bool start_program(juce::ChildProcess& process, const juce::StringArray& command);

// `text` in the bytes the command interpreter reads a batch file in: the code page a new console
// starts with (on Windows the OEM code page; on Linux UTF-8, which the script host reads). False,
// and `bytes` unusable, when a character of `text` has no exact form there.
// console_code_page_name names that code page for a message ("437", "UTF-8").
bool to_console_code_page(const juce::String& text, std::string& bytes);
juce::String console_code_page_name();

// Starts the patcher's existing script detached from the launcher, in the current working
// directory.
bool start_patcher_script(const juce::File& vbsFile);

// An exclusive lock on a file, seen by every process that locks the same file this way and
// dropped by the OS when the process ends however it ends.
enum class FileLockOutcome
{
    taken,          // `handle` holds the lock until release_file_lock
    heldByAnother,  // another open of the file holds it
    impossible      // the file cannot be opened or created as a regular file, or not locked
};
FileLockOutcome try_lock_file(const juce::File& file, std::intptr_t& handle);
void release_file_lock(std::intptr_t handle);

// Appends the bytes at the file's end in one write in append mode, creating the file when it is
// missing, so that processes appending to one file never overwrite each other. False when the
// write failed or was short.
bool append_to_file(const juce::File& file, const void* data, size_t size);

// Runs `action` while holding the lock that every launcher of the user takes to cut or append to
// the log in this folder (flock on the folder on Linux, a named mutex of the session on Windows),
// so that no line is appended to a log that a cut is replacing. Should the lock stay taken for
// 2 s (its holder stopped), runs `action` without it.
void with_log_lock(const juce::File& folder, const std::function<void()>& action);

// Whether the running executable's path, as the OS gives it, is text (UTF-8 on Linux, UTF-16
// without a lone surrogate on Windows). When it is not, `shown` is the path with each byte or unit
// that is not text written as an escape. Read raw, before the framework makes a path of it.
bool executable_path_is_text(juce::String& shown);

// Whether every environment text that the framework makes paths of is text, read raw before the
// framework reads any. Linux: HOME (every "~", the log's folder; the user's home folder in the
// password database when HOME is unset), XDG_DATA_HOME and JUCE_FONT_PATH (the font scan), each
// judged as UTF-8. When one is not, `shown` is "NAME=value" with each byte that is not text
// written as an escape. Windows hands the framework its folders in UTF-16 through wide calls and
// finds fonts by name, so there nothing is judged. Message thread, at start-up.
bool environment_is_text(juce::String& shown);

// The names in a folder, without "." and "..", that are text; other names are left out, since the
// framework would corrupt its memory on them (Linux). Nothing when the folder cannot be read.
// Any thread.
juce::StringArray text_names_in(const juce::File& folder);

// Removes a file, link or folder with all it holds, whatever bytes the names inside are, never
// following a link; what cannot be removed stays and the rest goes. True when nothing is left.
// Any thread.
bool delete_tree(const juce::File& file);

// Makes a write past the process's file-size limit fail (EFBIG) as a write to a full disk does,
// instead of ending the process (SIGXFSZ on Linux). Programs the launcher starts keep the default.
// First thing at start-up, on the message thread.
void make_oversized_writes_fail();

// Calls `handler` each time the OS asks the process to end (SIGINT or SIGTERM on Linux; on
// Windows Ctrl+C or Ctrl+Break in the console it reports to, or WM_CLOSE sent to one of its hidden
// windows), instead of letting the process die mid-write. Runs on a thread of the OS layer's own
// or on the message thread. An empty handler stops the watching; requests that arrive after that
// are swallowed. Message thread.
void on_termination_request(std::function<void()> handler);

// Lets standard output and error reach the console the program was started from, where they do
// not already go elsewhere (a Windows GUI program starts without any). First thing at start-up.
void use_parent_console();
} // namespace platform
