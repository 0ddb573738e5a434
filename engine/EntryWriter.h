#pragma once

#include <string>
#include <string_view>

#include <juce_core/juce_core.h>

#include "engine/ZipDirectory.h"

// Writes archive entries to disk from the framework's entry stream, trusting none of it: reading
// stops as soon as more bytes come than the entry declares, every write is checked, and the data
// must match the CRC-32 of the central directory. Worker thread.

// An entry's path inside the archive (its name as ZipDirectory::name gives it), with '/' between folders.
juce::String entry_path(std::string_view name);

// `text` with every byte `from` made `to`.
std::string with_separator(std::string text, char from, char to);

// `relative` ('/' between names, as check_archive_layout gives it) below `root`, taken as it is: no
// name in it may mean anything to the framework, and no byte of it is decoded on the way.
juce::File file_below(const juce::File& root, const std::string& relative);

// `zip` is opened on `directory.without_names`, which gives each entry's name and CRC-32.

// A link entry's target as stored in the archive, read and checked like any entry's data.
juce::Result read_link_target(juce::ZipFile& zip, int index, const ZipDirectory& directory, juce::String& target);

// Writes entry `index` to `relative` below `root`: the path check_archive_layout judged, taken as it
// is, after one last look at the text the OS gets (see is_plain_relative_path). A folder, a file (with the entry's time and permission bits) or a link, as the entry says.
// Folders missing above it are made from the root down; one that is already a link on disk fails it.
juce::Result write_entry(juce::ZipFile& zip, int index, const ZipDirectory& directory, const juce::File& root,
                         std::string_view relative);
