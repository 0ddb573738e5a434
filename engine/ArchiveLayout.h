#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <juce_core/juce_core.h>

#include "engine/ZipDirectory.h"

// The path below the unzip's root judged for each entry. Most are the entry's own name, or its
// start (a folder's without its last '/'): those are views into the archive's bytes, and only a path
// that reads otherwise than its name (".", "..", a '\\' or an empty name in it) is a text of its own.
class EntryPaths
{
public:
    void clear();
    void reserve(int count) { views.reserve((size_t) count); }
    void add(std::string_view name, const std::string& resolved);
    std::string_view operator[](int index) const { return views[(size_t) index]; }
    int size() const { return (int) views.size(); }

private:
    std::vector<std::string_view> views;
    std::deque<std::string> own; // its texts stay where they are as it grows
};

// Checks, before anything is written, that unzipping `zip` writes nothing outside the build's
// folder: every entry's path lies inside it and passes through no link entry of the archive, and
// every link entry points inside it, by a relative path that passes through no other link.
//
// Paths are judged as text, name by name, as the OS resolves them; no name means anything of its
// own (a '~' is a folder like any other). Names and links are compared without case, as Windows
// does. `buildName` is the build folder's name when the entries' paths start with it, empty when
// they are relative to it. `paths` receives, for each entry, the path below the unzip's root that
// was judged ('/' between names, no "." or ".." and no empty name; "" is the root itself): the one
// write_entry must write to below `root`.
//
// Names and link targets are judged as the bytes the OS gets: one that is not valid UTF-8, which
// a decoder on the way would read as other characters, is refused. So is an entry whose path below
// `root` (or its folder's) is longer than the OS takes, and an entry or a link target with a name
// the OS reads as another (on Windows: a trailing dot or blank, a ':', a device name). The cost is
// linear in the length of the archive's names, and so is the memory it takes beyond `paths`.
// `zip` is opened on `directory.without_names`.
//
// `stopRequested` is asked between entries; when it says so the check fails with "Cancelled" and
// `failedIndex` is -1. On any other failure `failedIndex` is the entry at fault. Worker thread.
juce::Result check_archive_layout(juce::ZipFile& zip, const ZipDirectory& directory, const juce::String& buildName,
                                  const juce::File& root, const std::function<bool()>& stopRequested,
                                  EntryPaths& paths, int& failedIndex);
