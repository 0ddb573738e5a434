#pragma once

#include <juce_core/juce_core.h>

// What the framework's ZipFile does not keep of an archive's central directory: each entry's
// CRC-32, and whether the directory it read is the whole of it. The framework reads only the
// classic end record, so an archive that needs ZIP64 (more than 65,535 entries, or sizes and
// offsets beyond 4 GB) would be read short; such an archive counts as unreadable. Worker thread.
class ZipDirectory
{
public:
    // Reads the directory of `archive` and checks that `zip`, opened on the same bytes, holds
    // every one of its entries in the same order. On failure the reason says what does not fit.
    juce::Result read(const juce::MemoryBlock& archive, const juce::ZipFile& zip);

    juce::uint32 crc(int index) const { return crcs[index]; }

private:
    juce::Array<juce::uint32> crcs;
};
