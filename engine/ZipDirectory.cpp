#include "engine/ZipDirectory.h"

namespace
{
constexpr juce::uint32 endSignature = 0x06054b50, entrySignature = 0x02014b50;
constexpr juce::uint32 zip64EndSignature = 0x06064b50, zip64LocatorSignature = 0x07064b50;
constexpr size_t endSize = 22, entrySize = 46, zip64LocatorSize = 20;
constexpr juce::uint32 saturated32 = 0xffffffffu;
constexpr juce::uint16 saturated16 = 0xffffu;

struct Bytes
{
    const juce::uint8* data;
    size_t size;

    bool fits(size_t at, size_t length) const { return at <= size && length <= size - at; }
    juce::uint16 u16(size_t at) const { return (juce::uint16) (data[at] | data[at + 1] << 8); }
    juce::uint32 u32(size_t at) const { return (juce::uint32) u16(at) | (juce::uint32) u16(at + 2) << 16; }
    bool signature(size_t at, juce::uint32 value) const { return fits(at, 4) && u32(at) == value; }
};

// The end record nearest the end of the archive whose comment fits in what follows it.
bool find_end_record(const Bytes& bytes, size_t& end)
{
    if (bytes.size < endSize)
        return false;

    const size_t lowest = bytes.size - endSize > 65535 ? bytes.size - endSize - 65535 : 0;
    for (size_t at = bytes.size - endSize + 1; at-- > lowest;)
    {
        if (bytes.u32(at) == endSignature && bytes.fits(at + endSize, bytes.u16(at + 20)))
        {
            end = at;
            return true;
        }
    }
    return false;
}
} // namespace

juce::Result ZipDirectory::read(const juce::MemoryBlock& archive, const juce::ZipFile& zip)
{
    crcs.clearQuick();
    const Bytes bytes { static_cast<const juce::uint8*>(archive.getData()), archive.getSize() };

    size_t end = 0;
    if (! find_end_record(bytes, end))
        return juce::Result::fail("no end of central directory record");

    const auto count = bytes.u16(end + 10);
    const auto directorySize = bytes.u32(end + 12);
    size_t at = bytes.u32(end + 16);
    if (count == saturated16 || directorySize == saturated32 || at == saturated32)
        return juce::Result::fail("the archive needs ZIP64 (more than 65,535 entries, or more than 4 GB)");

    // The framework accepts a directory offset that points just past the first header's signature.
    if (! bytes.signature(at, entrySignature) && at >= 4 && bytes.signature(at - 4, entrySignature))
        at -= 4;

    for (int i = 0; i < (int) count; ++i)
    {
        if (! bytes.fits(at, entrySize) || at + entrySize > end || bytes.u32(at) != entrySignature)
            return juce::Result::fail("entry " + juce::String(i) + " of " + juce::String(count) + " is missing");

        const size_t nameLength = bytes.u16(at + 28);
        const size_t length = entrySize + nameLength + bytes.u16(at + 30) + bytes.u16(at + 32);
        if (! bytes.fits(at, length) || at + length > end)
            return juce::Result::fail("entry " + juce::String(i) + " runs past the directory");
        if (bytes.u32(at + 20) == saturated32 || bytes.u32(at + 24) == saturated32 || bytes.u32(at + 42) == saturated32)
            return juce::Result::fail("entry " + juce::String(i) + " needs ZIP64 (more than 4 GB)");

        const auto* entry = zip.getEntry(i);
        const auto name = juce::String::fromUTF8(reinterpret_cast<const char*>(bytes.data + at + entrySize),
                                                 (int) nameLength);
        if (entry == nullptr || entry->filename != name)
            return juce::Result::fail("entry " + juce::String(i) + " is not the one the framework read");

        crcs.add(bytes.u32(at + 16));
        at += length;
    }

    // Nothing but the end record (or a ZIP64 end record and its locator) may follow the last
    // entry: more entries than the classic record counts would be silently left out.
    const bool zip64Records = end >= zip64LocatorSize && bytes.signature(end - zip64LocatorSize, zip64LocatorSignature)
                              && bytes.signature(at, zip64EndSignature);
    if (at != end && ! zip64Records)
        return juce::Result::fail("the directory holds more than the " + juce::String(count) + " entries it counts");
    if (zip.getNumEntries() != (int) count)
        return juce::Result::fail("the framework read " + juce::String(zip.getNumEntries()) + " of "
                                  + juce::String(count) + " entries");
    return juce::Result::ok();
}
