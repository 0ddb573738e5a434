#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include <juce_core/juce_core.h>

// What the framework's ZipFile does not keep of an archive's central directory: each entry's
// CRC-32, and whether the directory it reads is the whole of it. The framework reads only the
// classic end record, so an archive that needs ZIP64 (more than 65,535 entries, or sizes and
// offsets beyond 4 GB) would be read short; such an archive counts as unreadable.
//
// The framework copies everything from the directory's offset to the archive's end before it
// reads a single entry: the directory is read here first, from the archive's bytes alone, so that
// a ZipFile is opened only on an archive whose directory lies where its end record says, just
// before that record.
//
// The framework also keeps a copy of every entry's name, and copies the whole directory once more
// while it reads it: an archive of long names alone would be held four times. So the ZipFile is
// opened on `without_names`, and the names are read here, as views into the archive's own bytes.
// Worker thread.
class ZipDirectory
{
public:
    // Reads the directory the way the framework finds it (the same end record) and checks that it
    // fits before its end record, holds exactly the entries it counts, and that no two entries'
    // data (local header to the end of the compressed data) overlap each other or the directory.
    // An archive without an end record holds no entries. On failure the reason says what does not fit.
    // `archive` must outlive this object and the stream `without_names` gives.
    juce::Result read(const juce::MemoryBlock& archive);

    // The archive as `archive` (the same bytes read) holds it up to its directory, followed by a
    // directory of the same entries in the same order whose names are empty, and an end record:
    // what a ZipFile opened on it keeps is a few bytes per entry. An entry whose local header was
    // not found in the archive keeps an offset past the stream's end, so the framework reads no
    // data for it, as it would have. `archive` must outlive the stream.
    std::unique_ptr<juce::InputStream> without_names(juce::InputStream& archive) const;

    // Whether `zip`, opened on `without_names`, holds every one of the directory's entries, with
    // their sizes, in the same order.
    juce::Result matches(const juce::ZipFile& zip) const;

    int size() const { return (int) records.size(); }
    juce::uint32 crc(int index) const;
    // Entry `index`'s name exactly as the archive stores it (any bytes, '\\' or '/' between names).
    std::string_view name(int index) const;

private:
    const juce::uint8* archiveBytes = nullptr;
    // Where each entry's directory header starts, and whether its local header was found.
    std::vector<size_t> records;
    std::vector<bool> located;
    size_t directoryStart = 0;
};
