#include "engine/StagedBuild.h"

#include <map>

#include "engine/ArchiveLayout.h"
#include "engine/EntryWriter.h"
#include "engine/LauncherComponent.h"
#include "platform/platform.h"
#include "services/log.h"
#include "services/log_text.h"

namespace
{
juce::Result entry_failed(int index, std::string_view name, const juce::Result& result)
{
    log_error("Failed to unzip entry " + juce::String(index) + ": " + shown_in_log(name.data(), name.size()).quoted());
    return result;
}

// Set-aside numbers as their digits, without leading zeros: any number a folder name holds
// compares, however many digits it has.
struct ByValue
{
    bool operator()(const juce::String& a, const juce::String& b) const
    {
        return a.length() != b.length() ? a.length() < b.length() : a < b;
    }
};
using Numbered = std::map<juce::String, juce::File, ByValue>;

juce::String plus_one(const juce::String& number)
{
    auto digits = number.toStdString();
    auto at = digits.size();
    for (; at > 0 && digits[at - 1] == '9'; --at)
        digits[at - 1] = '0';
    if (at == 0)
        digits.insert(digits.begin(), '1');
    else
        ++digits[at - 1];
    return digits;
}

// The folders named after `base` beside it, by their number: `base` itself is 1, <base>.<n> is n.
Numbered numbered_siblings(const juce::File& base)
{
    Numbered numbered;
    if (base.exists())
        numbered["1"] = base;
    const auto prefix = base.getFileName() + ".";
    // Other programs may leave names that are not text there; none of them is one of ours.
    for (const auto& name : platform::text_names_in(base.getParentDirectory()))
    {
        const auto number = name.substring(prefix.length());
        if (name.startsWith(prefix) && number.isNotEmpty() && number.containsOnly("0123456789") && number[0] != '0'
            && number != "1")
            numbered[number] = base.getSiblingFile(name);
    }
    return numbered;
}

// `base` when none of its numbered folders is left, else one number above the highest: the
// newest is always the highest.
juce::File next_numbered(const juce::File& base)
{
    const auto left = numbered_siblings(base);
    if (left.empty())
        return base;
    return base.getSiblingFile(base.getFileName() + "." + plus_one(left.rbegin()->first));
}
} // namespace

StagedBuild::StagedBuild(const juce::File& folder_)
    : folder(folder_),
      stagingBase(folder_.getSiblingFile(folder_.getFileName() + ".installing")),
      staging(stagingBase),
      previous(folder_.getSiblingFile(folder_.getFileName() + ".old"))
{
}

juce::Result StagedBuild::unzip(juce::ZipFile& zip, const ZipDirectory& directory, bool entriesBesideFolder,
                                const std::function<bool()>& stopRequested) const
{
    // An earlier staging folder that cannot be emptied stays for a later start: none of its files
    // may become part of this build, so this one is unzipped beside it.
    if (! discard())
        staging = next_numbered(stagingBase);

    const auto build = staged();
    const auto root = entriesBesideFolder ? staging : build;
    const auto entryCount = zip.getNumEntries();

    // Everything is looked at before anything is written; each entry goes where it was judged to.
    int failedIndex = -1;
    EntryPaths paths;
    const auto layout = check_archive_layout(zip, directory, entriesBesideFolder ? build.getFileName() : juce::String(),
                                             root, stopRequested, paths, failedIndex);
    if (layout.failed())
        return failedIndex < 0 ? layout : entry_failed(failedIndex, directory.name(failedIndex), layout);

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

    if (! build.createDirectory())
        return juce::Result::fail("Failed to create target folder: " + shown_in_log(build.getFullPathName()));

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

            const auto result = write_entry(zip, i, directory, root, paths[i]);
            if (result.failed())
            {
                discard();
                return entry_failed(i, directory.name(i), result);
            }
        }
    }

    log_info("Unzipping " + juce::String(entryCount) + " files finished in " + juce::String(seconds, 2)
             + " seconds");
    return juce::Result::ok();
}

juce::Array<juce::File> StagedBuild::set_aside() const
{
    juce::Array<juce::File> result;
    for (const auto& [number, file] : numbered_siblings(previous))
        result.add(file);
    return result;
}

juce::Result StagedBuild::swap_in(const juce::String& oldStaysMessage, Replaced& replaced, juce::File& setAsideAs) const
{
    replaced = Replaced::nothing;
    // clean_up, under the same lock, has just removed every earlier one it could.
    setAsideAs = next_numbered(previous);

    if (folder.exists())
    {
        // A rename either happens whole or not at all: the old folder is never half removed.
        if (! folder.moveFileTo(setAsideAs))
        {
            discard();
            return juce::Result::fail(oldStaysMessage);
        }
        replaced = Replaced::setAside;
    }

    if (! staged().moveFileTo(folder))
    {
        if (replaced == Replaced::setAside)
            setAsideAs.moveFileTo(folder);
        discard();
        replaced = Replaced::nothing;
        return juce::Result::fail("Failed to move unzipped build into place: " + shown_in_log(folder.getFullPathName()).quoted());
    }

    discard();
    if (replaced == Replaced::setAside && platform::delete_tree(setAsideAs))
        replaced = Replaced::removed;
    return juce::Result::ok();
}

bool StagedBuild::discard() const
{
    return platform::delete_tree(staging);
}

juce::Array<juce::File> StagedBuild::clean_up(bool restoreOld) const
{
    juce::Array<juce::File> stays;
    for (const auto& [number, file] : numbered_siblings(stagingBase))
        if (! platform::delete_tree(file))
            stays.add(file);

    auto left = set_aside();
    // Killed between the two renames: the newest build set aside is the only whole one there is.
    if (restoreOld && ! folder.exists() && ! left.isEmpty() && left.getLast().moveFileTo(folder))
        left.removeLast();
    for (const auto& file : left)
        if (! platform::delete_tree(file))
            stays.add(file);
    return stays;
}
