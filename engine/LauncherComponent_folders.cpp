// The launcher's folder, the installed application's files and its window.
#include "engine/LauncherComponent.h"

#include <algorithm>

#include "platform/platform.h"
#include "services/build_info.h"
#include "services/log.h"
#include "services/log_text.h"
#include "services/utf8_text.h"

namespace
{
struct AppWindow
{
    const char* typePrefix;
    const char* title;
};

// A version is one short line. Only this much of version.txt is read, so that a huge or endless
// file costs neither memory nor log lines.
constexpr int versionPrefixBytes = 256;

// The first line of `prefix` that holds anything, trimmed. Each line is decoded alone: a character
// the prefix's end cuts in two makes the framework take all it decodes with it for Windows-1252.
// UTF-16, whose line breaks are no single bytes, is decoded whole.
juce::String first_line(const juce::MemoryBlock& prefix)
{
    const auto* data = static_cast<const char*>(prefix.getData());
    const auto size = prefix.getSize();
    if (size >= 2 && (juce::CharPointer_UTF16::isByteOrderMarkBigEndian(data)
                      || juce::CharPointer_UTF16::isByteOrderMarkLittleEndian(data)))
        return text_from_bytes(data, size).trimStart().initialSectionNotContaining("\r\n").trim();

    const auto* end = data + size;
    for (const auto* line = data; line < end;)
    {
        const auto* lineEnd = std::find_if(line, end, [](char c) { return c == '\r' || c == '\n'; });
        const auto text = text_from_bytes(line, (size_t) (lineEnd - line)).trim();
        if (text.isNotEmpty())
            return text;
        line = lineEnd == end ? end : lineEnd + 1;
    }
    return {};
}

// First match wins; no key is a prefix of a later one.
constexpr AppWindow appWindows[] = {
    { "Solvanter", "Solvanter" },
    { "OrvanelTool", "Orvanel Tool" },
    { "KindlowOrvanelTool", "Kindlow" },
    { "TindrelCreator", "Tindrel Creator" },
};
} // namespace

juce::File launcher_directory()
{
    return build_info::running_executable().getParentDirectory();
}

juce::File launcher_child_file(const juce::String& name)
{
    return launcher_directory().getChildFile(name);
}

juce::File launcher_executable_file(const juce::String& name)
{
    return launcher_child_file(name).getChildFile(name + ".exe");
}

bool is_app_running(const juce::String& appType)
{
    for (const auto& window : appWindows)
        if (appType.startsWith(window.typePrefix))
            return platform::top_level_window_exists(window.title);

    // No title to look for: the application counts as not running.
    log_error("Unsupported app type: " + shown_in_log(appType).quoted());
    return false;
}

bool LauncherComponent::wait_for_app_closed()
{
    if (! is_app_running(config.app_branch))
        return true;

    log_error("Solvanter app is running, waiting for app to be closed");
    update_state("Solvanter is already running.\nPlease close Solvanter app to continue...", false, true,
                 utils::Level::warning);
    start_spinner();

    for (;;)
    {
        if (! is_app_running(config.app_branch))
        {
            animating = false;
            return true;
        }

        for (int i = 0; i < 4; ++i)
        {
            if (threadShouldExit())
            {
                log_info("Cancelled");
                return false;
            }
            wait(500);
        }
    }
}

juce::String LauncherComponent::read_installed_version()
{
    const auto versionFile = launcher_child_file(config.app_executable).getChildFile("version.txt");
    if (! versionFile.exists())
    {
        log_error("App version file not found: " + shown_in_log(versionFile.getFullPathName()).quoted());
        return {};
    }

    juce::MemoryBlock prefix;
    if (juce::FileInputStream in(versionFile); in.openedOk())
        in.readIntoMemoryBlock(prefix, versionPrefixBytes);
    // The first line that holds anything, as the whole file trimmed would be for a one-line file.
    const auto version = first_line(prefix);
    if (version.isEmpty())
    {
        log_error("App version file is empty");
        return {};
    }

    log_info("Installed app version: " + shown_in_log(version).quoted());
    return version;
}

juce::Result LauncherComponent::find_app_build(bool logMissing)
{
    // A folder of that name does not count: it could never be started.
    const auto executable = launcher_executable_file(config.app_executable);
    if (executable.existsAsFile())
        return juce::Result::ok();

    if (logMissing)
        log_error("App build not found: " + shown_in_log(executable.getFullPathName()).quoted());
    return juce::Result::fail("Could not find app build");
}
