#include "engine/StagedBuild.h"

#include "engine/ArchiveLayout.h"
#include "engine/EntryWriter.h"
#include "engine/LauncherComponent.h"
#include "services/log.h"

namespace
{
juce::Result entry_failed(int index, const juce::ZipFile::ZipEntry& entry, const juce::Result& result)
{
    log_error("Failed to unzip entry " + juce::String(index) + ": " + entry.filename.quoted());
    return result;
}
} // namespace

StagedBuild::StagedBuild(const juce::File& folder_)
    : folder(folder_),
      staging(folder_.getSiblingFile(folder_.getFileName() + ".installing")),
      previous(folder_.getSiblingFile(folder_.getFileName() + ".old"))
{
}

juce::Result StagedBuild::unzip(juce::ZipFile& zip, const ZipDirectory& directory, bool entriesBesideFolder,
                                const std::function<bool()>& stopRequested) const
{
    const auto build = staged();
    const auto root = entriesBesideFolder ? staging : build;
    const auto entryCount = zip.getNumEntries();

    // Everything is looked at before anything is written; each entry goes where it was judged to.
    int failedIndex = -1;
    juce::StringArray paths;
    const auto layout = check_archive_layout(zip, directory, entriesBesideFolder ? build.getFileName() : juce::String(),
                                             stopRequested, paths, failedIndex);
    if (layout.failed())
        return failedIndex < 0 ? layout : entry_failed(failedIndex, *zip.getEntry(failedIndex), layout);

    juce::int64 totalBytes = 0;
    for (int i = 0; i < entryCount; ++i)
        totalBytes += zip.getEntry(i)->uncompressedSize;

    const auto freeBytes = folder.getParentDirectory().getBytesFreeOnVolume();
    if (freeBytes > 0 && totalBytes > freeBytes)
    {
        log_error("Free disk space: " + juce::String(megabytes(freeBytes), 2) + " MB, needed: "
                  + juce::String(megabytes(totalBytes), 2) + " MB");
        return juce::Result::fail("Not enough free disk space to unzip downloaded build");
    }

    discard();
    if (! build.createDirectory())
        return juce::Result::fail("Failed to create target folder: " + build.getFullPathName());

    double seconds = 0.0;
    {
        const juce::ScopedTimeMeasurement measurement(seconds);

        for (int i = 0; i < entryCount; ++i)
        {
            if (stopRequested())
            {
                discard();
                return juce::Result::fail("Cancelled");
            }

            const auto& entry = *zip.getEntry(i);
            const auto result = write_entry(zip, i, directory.crc(i), root, paths[i]);
            if (result.failed())
            {
                discard();
                return entry_failed(i, entry, result);
            }
        }
    }

    log_info("Unzipping " + juce::String(entryCount) + " files finished in " + juce::String(seconds, 2)
             + " seconds");
    return juce::Result::ok();
}

juce::Result StagedBuild::swap_in(const juce::String& oldStaysMessage, Replaced& replaced) const
{
    replaced = Replaced::nothing;
    previous.deleteRecursively();

    if (folder.exists())
    {
        // A rename either happens whole or not at all: the old folder is never half removed.
        if (! folder.moveFileTo(previous))
        {
            discard();
            return juce::Result::fail(oldStaysMessage);
        }
        replaced = Replaced::setAside;
    }

    if (! staged().moveFileTo(folder))
    {
        if (replaced == Replaced::setAside)
            previous.moveFileTo(folder);
        discard();
        replaced = Replaced::nothing;
        return juce::Result::fail("Failed to move unzipped build into place: " + folder.getFullPathName().quoted());
    }

    discard();
    if (replaced == Replaced::setAside && previous.deleteRecursively())
        replaced = Replaced::removed;
    return juce::Result::ok();
}

void StagedBuild::discard() const
{
    staging.deleteRecursively();
}

void StagedBuild::clean_up(bool restoreOld) const
{
    discard();
    if (! previous.exists())
        return;

    // Killed between the two renames: the old build is the only one there is.
    if (restoreOld && ! folder.exists() && previous.moveFileTo(folder))
        return;
    previous.deleteRecursively();
}
