#pragma once

#include <functional>

#include <juce_core/juce_core.h>

#include "engine/ZipDirectory.h"

// Puts a build folder from an archive in place so that the folder it replaces survives every
// failed or interrupted install. The archive is unzipped into a folder beside the final one (on
// the same file system), checked, and only then swapped in by renames:
//
//   <name>.installing/<name>   the new build while it is unzipped and checked
//   <name>.old, <name>.old.2   the replaced build, between the two renames and until it is removed
//
// A replaced build that cannot be removed (a file held open by another program, or not the user's
// to delete) must not block later installs, so each is set aside under a free name: <name>.old
// when none is left, otherwise one number above the highest left (of any number of digits), which
// keeps the newest the highest. So is a staging folder that cannot be emptied: the next unzip goes
// to a numbered <name>.installing beside it. What an interrupted install leaves there is cleaned
// up before the next install and at the next start. Worker thread; callers hold the install lock (`InstallLock`) around all of it.
class StagedBuild
{
public:
    explicit StagedBuild(const juce::File& folder);

    // The new build once `unzip` has succeeded.
    juce::File staged() const { return staging.getChildFile(folder.getFileName()); }

    // Unzips every entry into the staging folder, after checking that nothing would land outside
    // the build's folder (`entriesBesideFolder`: paths start with the folder's name, as in the build
    // archives; otherwise they are relative to it; see check_archive_layout) and that the disk holds
    // it all. Each file must match its entry's size and CRC-32 (see write_entry). On failure or
    // when `stopRequested` says so, the staging folder is removed. Logs a failed entry and the
    // unzip time. `zip` is opened on `directory.without_names`.
    juce::Result unzip(juce::ZipFile& zip, const ZipDirectory& directory, bool entriesBesideFolder,
                       const std::function<bool()>& stopRequested) const;

    enum class Replaced
    {
        nothing,     // there was no folder before
        removed,     // the old folder is gone
        setAside     // the old folder is still there as `setAsideAs` (removed at a later start)
    };

    // Moves the old folder aside (after clean_up) and the staged build into its place. When the old folder cannot
    // be moved, nothing changes and the result carries `oldStaysMessage`.
    juce::Result swap_in(const juce::String& oldStaysMessage, Replaced& replaced, juce::File& setAsideAs) const;

    // Removes the staging folder; false when some of it stays.
    bool discard() const;

    // Removes what interrupted installs left and returns what of it could not be removed. With
    // `restoreOld`, when the folder is missing, the newest build set aside is put back first.
    juce::Array<juce::File> clean_up(bool restoreOld) const;

private:
    // The replaced builds still there, oldest first, and the name for the next one.
    juce::Array<juce::File> set_aside() const;

    juce::File folder, stagingBase, previous;
    // <name>.installing, or a numbered one beside it while that cannot be emptied (see unzip).
    mutable juce::File staging;
};
