// Putting a downloaded build on disk.
#include "engine/LauncherComponent.h"

#include "platform/platform.h"
#include "services/log.h"

namespace
{
juce::Result invalid_archive(int entryCount)
{
    log_error("Invalid number of zip entries: " + juce::String(entryCount));
    return juce::Result::fail("Failed to unzip downloaded build");
}
} // namespace

juce::Result LauncherComponent::install_app(const juce::MemoryBlock& data)
{
    update_state("Installing " + config.app_branch, true, false, utils::Level::info);
    progress = 2.0;
    log_info("Zip data size: " + juce::String(megabytes((juce::int64) data.getSize()), 2) + " MB");

    juce::MemoryInputStream input(data, true);
    juce::ZipFile zip(input);

    // Look at the archive before the installed application is removed: a download that is no
    // archive must not leave the user without the application.
    if (zip.getNumEntries() <= 0)
        return invalid_archive(zip.getNumEntries());

    const auto appFolder = launcher_child_file(config.app_executable);
    if (appFolder.exists())
    {
        if (! appFolder.deleteRecursively())
            return juce::Result::fail("Failed to remove existing app");
        log_info("Removed existing app");
    }

    if (threadShouldExit())
        return juce::Result::fail("Cancelled");

    auto result = unzip_build(zip, appFolder, 1);
    if (result.failed())
        return result;

    if (threadShouldExit())
        return juce::Result::fail("Cancelled");

    result = find_app_build(true);
    if (result.failed())
        return result;

    const auto installedVersion = read_installed_version();
    if (expectedAppVersion.isNotEmpty() && installedVersion != expectedAppVersion)
    {
        log_error("Installed version does not match expected version");
        log_error("Expected app version: " + expectedAppVersion);
    }

    post_display_change([](LauncherComponent& c) { c.progressBar.setVisible(false); });
    return juce::Result::ok();
}

juce::Result LauncherComponent::unzip_build(juce::ZipFile& zip, const juce::File& buildFolder, int mode)
{
    const auto entryCount = zip.getNumEntries();
    if (entryCount <= 0)
        return invalid_archive(entryCount);

    // The archive holds the build's top folder, so mode 1 unzips beside it.
    const auto destination = mode == 1 ? buildFolder.getParentDirectory() : buildFolder;

    double seconds = 0.0;
    {
        const juce::ScopedTimeMeasurement measurement(seconds);

        for (int i = 0; i < entryCount; ++i)
        {
            if (threadShouldExit())
            {
                buildFolder.deleteRecursively();
                return juce::Result::fail("Cancelled");
            }

            const auto result = zip.uncompressEntry(i, destination, juce::ZipFile::OverwriteFiles::yes,
                                                    juce::ZipFile::FollowSymlinks::no);
            const auto& entry = *zip.getEntry(i);
            if (result.failed())
            {
                log_error("Failed to unzip entry " + juce::String(i) + ": " + entry.filename.quoted());
                return result;
            }

            // The framework writes plain files; an executable must stay executable.
            platform::apply_entry_permissions(entry,
                                              destination.getChildFile(entry.filename.replaceCharacter('\\', '/')));
        }
    }

    log_info("Unzipping " + juce::String(entryCount) + " files finished in " + juce::String(seconds, 2)
             + " seconds");
    return juce::Result::ok();
}
