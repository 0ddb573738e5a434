#pragma once

#include <juce_core/juce_core.h>

// What the framework's ZipFile does not keep of an archive's central directory: each entry's
// CRC-32, and whether the directory it reads is the whole of it. The framework reads only the
// classic end record, so an archive that needs ZIP64 (more than 65,535 entries, or sizes and
// offsets beyond 4 GB) would be read short; such an archive counts as unreadable.
//
// The framework copies everything from the directory's offset to the archive's end before it
// reads a single entry: the directory is read here first, from the archive's bytes alone, so that
// a ZipFile is opened only on an archive whose directory lies where its end record says, just
// before that record. Worker thread.
class ZipDirectory
{
public:
    // Reads the directory the way the framework finds it (the same end record) and checks that it
    // fits before its end record, holds exactly the entries it counts, and that no two entries'
    // data (local header to the end of the compressed data) overlap each other or the directory.
    // An archive without an end record holds no entries. On failure the reason says what does not fit.
    juce::Result read(const juce::MemoryBlock& archive);

    // Whether `zip`, opened on the same bytes, holds every one of the directory's entries in the
    // same order.
    juce::Result matches(const juce::ZipFile& zip) const;

    int size() const { return names.size(); }
    juce::uint32 crc(int index) const { return crcs[index]; }

private:
    juce::Array<juce::uint32> crcs;
    juce::StringArray names;
};
