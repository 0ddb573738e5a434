// Linux: names and environment texts that are bytes, which the framework takes for UTF-8 on trust.
// A broken sequence makes its byte and character counts disagree and overruns its strings, so
// these are read raw and judged before any of them becomes a juce::String.
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "services/utf8_text.h"

namespace platform
{
namespace
{
bool is_text(const char* bytes) { return is_utf8_text(bytes, std::strlen(bytes)); }

bool is_dot_or_dot_dot(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool remove_at(int parentFd, const char* name);

// Removes what it can of what the open folder holds, and closes it.
void empty_folder(int folderFd)
{
    DIR* folder = fdopendir(folderFd);
    if (folder == nullptr)
    {
        close(folderFd);
        return;
    }
    // Read whole before removing: a folder read while it changes may skip names.
    std::vector<std::string> names;
    while (const auto* entry = readdir(folder))
        if (! is_dot_or_dot_dot(entry->d_name))
            names.emplace_back(entry->d_name);

    for (const auto& name : names)
        remove_at(dirfd(folder), name.c_str());
    closedir(folder);
}

bool remove_at(int parentFd, const char* name)
{
    struct stat info {};
    if (fstatat(parentFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (! S_ISDIR(info.st_mode))
        return unlinkat(parentFd, name, 0) == 0 || errno == ENOENT;

    // O_NOFOLLOW: a link put there since is removed as a link, never followed.
    // The folder goes only once nothing is left in it.
    if (const int folderFd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); folderFd >= 0)
        empty_folder(folderFd);
    return unlinkat(parentFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}
} // namespace

bool environment_is_text(juce::String& shown)
{
    const auto judged = [&shown](const char* name, const char* value) {
        if (value == nullptr || is_text(value))
            return true;
        shown = juce::String(name) + "=" + shown_as_text(value, std::strlen(value));
        return false;
    };

    // Without HOME, the framework takes the home folder from the password database.
    if (const char* home = std::getenv("HOME"); home == nullptr)
    {
        if (const auto* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr && ! is_text(user->pw_dir))
        {
            shown = "HOME (unset; the user's home folder)=" + shown_as_text(user->pw_dir, std::strlen(user->pw_dir));
            return false;
        }
    }
    else if (! judged("HOME", home))
        return false;

    return judged("XDG_DATA_HOME", std::getenv("XDG_DATA_HOME")) && judged("JUCE_FONT_PATH", std::getenv("JUCE_FONT_PATH"));
}

juce::StringArray text_names_in(const juce::File& folder)
{
    juce::StringArray names;
    DIR* dir = opendir(folder.getFullPathName().toRawUTF8());
    if (dir == nullptr)
        return names;
    while (const auto* entry = readdir(dir))
        if (! is_dot_or_dot_dot(entry->d_name) && is_text(entry->d_name))
            names.add(juce::String::fromUTF8(entry->d_name));
    closedir(dir);
    return names;
}

bool delete_tree(const juce::File& file)
{
    return remove_at(AT_FDCWD, file.getFullPathName().toRawUTF8());
}
} // namespace platform
