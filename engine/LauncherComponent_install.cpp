// Putting a downloaded build on disk. The installed application is replaced only by a complete,
// checked build (see StagedBuild); every failure or stop before that leaves it as it was.
#include "engine/LauncherComponent.h"

#include "engine/InstallLock.h"
#include "engine/StagedBuild.h"
#include "engine/ZipDirectory.h"
#include "platform/platform.h"
#include "services/build_info.h"
#include "services/log.h"
#include "services/log_text.h"

namespace
{
juce::Result invalid_archive(int entryCount)
{
    log_error("Invalid number of zip entries: " + juce::String(entryCount));
    return juce::Result::fail("Failed to unzip downloaded build");
}

juce::Result unreadable_directory(const juce::Result& reason)
{
    log_error("Zip directory cannot be read whole: " + reason.getErrorMessage());
    return juce::Result::fail("Failed to unzip downloaded build");
}
} // namespace

juce::Result LauncherComponent::install_app(const juce::MemoryBlock& data)
{
    update_state("Installing " + config.app_branch, true, false, utils::Level::info);
    progress = 2.0;
    log_info("Zip data size: " + juce::String(megabytes((juce::int64) data.getSize()), 2) + " MB");

    // The new build must be one the launch can start: a folder of the executable's name, or a file
    // that may not be executed, would replace a working application with one that never starts.
    const auto executableName = config.app_executable + ".exe";
    // The texts name the executable where the build would have been installed: the staged copy
    // is gone by the time anyone reads them.
    const auto installed = launcher_executable_file(config.app_executable);
    const auto checkExecutable = [&executableName, &installed](const juce::File& staged) {
        const auto executable = staged.getChildFile(executableName);
        if (platform::can_start_program(executable))
            return juce::Result::ok();
        if (executable.existsAsFile())
            log_error("App build cannot be started: " + shown_in_log(installed.getFullPathName()).quoted());
        else
            log_error("App build not found: " + shown_in_log(installed.getFullPathName()).quoted());
        return juce::Result::fail("Could not find app build");
    };

    StagedBuild::Replaced replaced;
    juce::File setAside;
    const auto result = stage_and_swap_in(data, launcher_child_file(config.app_executable), true, checkExecutable,
                                          "Failed to remove existing app", replaced, setAside);
    if (result.failed())
        return result;
    if (replaced == StagedBuild::Replaced::removed)
        log_info("Removed existing app");
    else if (replaced == StagedBuild::Replaced::setAside) // the new build is in place all the same
        log_info("Could not remove the replaced app build " + shown_in_log(setAside.getFullPathName()).quoted()
                 + "; it is removed at a later start");

    const auto installedVersion = read_installed_version();
    if (expectedAppVersion.isNotEmpty() && installedVersion != expectedAppVersion)
    {
        log_error("Installed version does not match expected version");
        log_error("Expected app version: " + shown_in_log(expectedAppVersion));
    }

    post_display_change([](LauncherComponent& c) { c.progressBar.setVisible(false); });
    return juce::Result::ok();
}

juce::Result LauncherComponent::unzip_build(juce::ZipFile& zip, const StagedBuild& build, int mode,
                                            const ZipDirectory& directory)
{
    const auto entryCount = zip.getNumEntries();
    if (entryCount <= 0)
        return invalid_archive(entryCount);

    if (const auto same = directory.matches(zip); same.failed())
        return unreadable_directory(same);

    return build.unzip(zip, directory, mode == 1, [this] { return threadShouldExit(); });
}

juce::Result LauncherComponent::stage_and_swap_in(const juce::MemoryBlock& data, const juce::File& folder,
                                                bool restoreOld,
                                                const std::function<juce::Result(const juce::File&)>& check,
                                                const juce::String& oldStaysMessage, StagedBuild::Replaced& replaced,
                                                juce::File& setAsideAs)
{
    // Read before the framework sees the archive, which copies all it takes for the directory.
    ZipDirectory directory;
    if (const auto readable = directory.read(data); readable.failed())
        return unreadable_directory(readable);
    if (directory.size() == 0)
        return invalid_archive(0);

    const StagedBuild build(folder);
    InstallLock lock;
    if (const auto locked = lock.enter([this] { return threadShouldExit(); }); locked.failed())
        return locked;
    build.clean_up(restoreOld);

    juce::MemoryInputStream input(data, true);
    // The framework keeps no name of its own: the directory's are views into `data`.
    const auto archive = directory.without_names(input);
    juce::ZipFile zip(*archive);
    auto result = juce::Result::ok();
    try
    {
        result = unzip_build(zip, build, 1, directory);
    }
    catch (...)
    {
        // Memory that ran out half-way (see run): no half-written build waits for the next start.
        build.discard();
        throw;
    }
    if (result.wasOk() && threadShouldExit())
        result = juce::Result::fail("Cancelled");
    if (result.wasOk())
        result = check(build.staged());
    if (result.failed())
    {
        build.discard();
        return result;
    }

    return build.swap_in(oldStaysMessage, replaced, setAsideAs);
}

void LauncherComponent::clean_up_interrupted_installs()
{
    InstallLock lock;
    if (! lock.try_enter())
        return;

    auto stays = StagedBuild(launcher_child_file(config.app_executable)).clean_up(true);
    // An earlier launcher build set aside is of no use: the patcher only ever takes the newest.
    stays.addArray(StagedBuild(launcher_child_file(build_info::running_application_name())).clean_up(false));

    // Held open by another program, or not the user's to delete; later installs set builds aside
    // under other names, so this only costs disk space.
    if (stays.isEmpty())
        return;
    juce::StringArray names;
    for (const auto& file : stays)
        names.add(shown_in_log(file.getFullPathName()).quoted());
    log_info("Could not remove what earlier installs left, tried again at the next start: " + names.joinIntoString(", "));
}
