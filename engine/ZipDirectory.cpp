#include "engine/ZipDirectory.h"

#include <algorithm>
#include <vector>

namespace
{
constexpr juce::uint32 endSignature = 0x06054b50, entrySignature = 0x02014b50, localSignature = 0x04034b50;
constexpr juce::uint32 zip64EndSignature = 0x06064b50, zip64LocatorSignature = 0x07064b50;
constexpr size_t endSize = 22, entrySize = 46, localSize = 30, zip64EndSize = 56, zip64LocatorSize = 20;
// A ZIP64 end record's size field counts the record without its signature and the field itself.
constexpr size_t zip64EndLead = 12;
constexpr juce::uint32 saturated32 = 0xffffffffu;
constexpr juce::uint16 saturated16 = 0xffffu;
// How far back from the archive's end the framework looks for the end record.
constexpr size_t endSearchDepth = 1048576;

struct Bytes
{
    const juce::uint8* data;
    size_t size;

    bool fits(size_t at, size_t length) const { return at <= size && length <= size - at; }
    juce::uint16 u16(size_t at) const { return (juce::uint16) (data[at] | data[at + 1] << 8); }
    juce::uint32 u32(size_t at) const { return (juce::uint32) u16(at) | (juce::uint32) u16(at + 2) << 16; }
    juce::uint64 u64(size_t at) const { return (juce::uint64) u32(at) | (juce::uint64) u32(at + 4) << 32; }
    bool signature(size_t at, juce::uint32 value) const { return fits(at, 4) && u32(at) == value; }
};

// Where an entry's bytes lie, from its local header to the end of its compressed data.
struct Extent
{
    juce::uint64 start, end;
    int index;
};

juce::uint32 u32_of(const juce::uint8* p) { return (juce::uint32) (p[0] | p[1] << 8 | p[2] << 16 | (juce::uint32) p[3] << 24); }

// The end record exactly as the framework's ZipFile finds it: it reads the archive backwards in
// steps of 22 bytes, at most 1 MB deep, keeping the first 4 bytes of the step after, and takes
// the first signature of the first step that holds one. Any other record would let the two
// disagree on where the directory is.
bool find_end_record(const Bytes& bytes, size_t& end)
{
    size_t pos = bytes.size;
    const size_t lowest = pos > endSearchDepth ? pos - endSearchDepth : 0;
    juce::uint8 buffer[32] = {};
    while (pos > lowest)
    {
        pos = pos > endSize ? pos - endSize : 0;
        std::memcpy(buffer + endSize, buffer, 4);
        if (! bytes.fits(pos, endSize))
            return false;
        std::memcpy(buffer, bytes.data + pos, endSize);
        for (size_t i = 0; i < endSize; ++i)
        {
            if (u32_of(buffer + i) == endSignature)
            {
                end = pos + i;
                return true;
            }
        }
    }
    return false;
}
} // namespace

juce::Result ZipDirectory::read(const juce::MemoryBlock& archive)
{
    records.clear();
    located.clear();
    directoryStart = 0;
    archiveBytes = static_cast<const juce::uint8*>(archive.getData());
    const Bytes bytes { archiveBytes, archive.getSize() };

    size_t end = 0;
    if (! find_end_record(bytes, end))
        return juce::Result::ok();
    if (! bytes.fits(end, endSize) || ! bytes.fits(end + endSize, bytes.u16(end + 20)))
        return juce::Result::fail("the end of central directory record runs past the archive");

    const auto count = bytes.u16(end + 10);
    const auto directorySize = bytes.u32(end + 12);
    size_t at = bytes.u32(end + 16);
    if (count == saturated16 || bytes.u16(end + 8) == saturated16 || directorySize == saturated32 || at == saturated32)
        return juce::Result::fail("the archive needs ZIP64 (more than 65,535 entries, or more than 4 GB)");

    // The framework accepts a directory offset that points just past the first header's signature.
    if (at >= 4 && ! bytes.signature(at, entrySignature) && bytes.signature(at - 4, entrySignature))
        at -= 4;
    if (at > end || directorySize > end - at)
        return juce::Result::fail("the directory does not fit before its end record");
    directoryStart = at;
    std::vector<Extent> extents;
    extents.reserve(count);
    records.reserve(count);
    located.reserve(count);

    for (int i = 0; i < (int) count; ++i)
    {
        if (! bytes.fits(at, entrySize) || at + entrySize > end || bytes.u32(at) != entrySignature)
            return juce::Result::fail("entry " + juce::String(i) + " of " + juce::String(count) + " is missing");

        const size_t length = entrySize + bytes.u16(at + 28) + bytes.u16(at + 30) + bytes.u16(at + 32);
        if (at + length > end)
            return juce::Result::fail("entry " + juce::String(i) + " runs past the directory");
        if (bytes.u32(at + 20) == saturated32 || bytes.u32(at + 24) == saturated32 || bytes.u32(at + 42) == saturated32)
            return juce::Result::fail("entry " + juce::String(i) + " needs ZIP64 (more than 4 GB)");

        // The framework reads an entry's data after the local header at its offset, and nothing
        // when there is none.
        const size_t local = bytes.u32(at + 42);
        located.push_back(bytes.fits(local, localSize) && bytes.u32(local) == localSignature);
        if (located.back())
            extents.push_back({ local, (juce::uint64) local + localSize + bytes.u16(local + 26) + bytes.u16(local + 28)
                                           + bytes.u32(at + 20), i });

        records.push_back(at);
        at += length;
    }

    // Nothing but the end record (or a ZIP64 end record, as long as its own size field says, and
    // its locator) may follow the last entry: more entries than the classic record counts would be
    // silently left out, and whatever lies there the framework would copy.
    const auto trailer = end - at;
    const bool zip64Records = trailer >= zip64EndSize + zip64LocatorSize && bytes.signature(at, zip64EndSignature)
                              && bytes.u64(at + 4) == trailer - zip64EndLead - zip64LocatorSize
                              && bytes.signature(end - zip64LocatorSize, zip64LocatorSignature);
    if (at != end && ! zip64Records)
        return juce::Result::fail("the directory holds more than the " + juce::String(count) + " entries it counts");

    // Each entry's bytes are its own: entries sharing data would write it again and again (a small
    // archive filling the disk), as would data that runs on into the directory.
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.start != b.start ? a.start < b.start : a.index < b.index; });
    for (size_t k = 0; k < extents.size(); ++k)
    {
        const auto entry = [&] { return "the data of entry " + juce::String(extents[k].index); };
        if (k > 0 && extents[k].start < extents[k - 1].end)
            return juce::Result::fail(entry() + " overlaps that of entry " + juce::String(extents[k - 1].index));
        if (extents[k].end > directoryStart)
            return juce::Result::fail(entry() + " runs into the directory");
    }
    return juce::Result::ok();
}

juce::uint32 ZipDirectory::crc(int index) const
{
    return Bytes { archiveBytes + records[(size_t) index], entrySize }.u32(16);
}

std::string_view ZipDirectory::name(int index) const
{
    const auto* record = archiveBytes + records[(size_t) index];
    return { reinterpret_cast<const char*>(record + entrySize), Bytes { record, entrySize }.u16(28) };
}

namespace
{
// The archive's bytes before its directory, then a directory of its own.
class ArchiveWithDirectory : public juce::InputStream
{
public:
    ArchiveWithDirectory(juce::InputStream& archive_, juce::int64 directoryStart, juce::MemoryBlock directory_)
        : archive(archive_), start(directoryStart), directory(std::move(directory_))
    {
    }

    juce::int64 getTotalLength() override { return start + (juce::int64) directory.getSize(); }
    bool isExhausted() override { return position >= getTotalLength(); }
    juce::int64 getPosition() override { return position; }
    bool setPosition(juce::int64 to) override
    {
        position = juce::jlimit((juce::int64) 0, getTotalLength(), to);
        return true;
    }

    int read(void* destination, int wanted) override
    {
        auto* out = static_cast<char*>(destination);
        int done = 0;
        while (done < wanted && position < getTotalLength())
        {
            int got = 0;
            if (position < start)
            {
                archive.setPosition(position);
                got = archive.read(out + done, (int) juce::jmin((juce::int64) (wanted - done), start - position));
                if (got <= 0)
                    break;
            }
            else
            {
                got = (int) juce::jmin((juce::int64) (wanted - done), getTotalLength() - position);
                std::memcpy(out + done, static_cast<const char*>(directory.getData()) + (position - start), (size_t) got);
            }
            done += got;
            position += got;
        }
        return done;
    }

private:
    juce::InputStream& archive;
    const juce::int64 start;
    const juce::MemoryBlock directory;
    juce::int64 position = 0;
};

void put(juce::uint8* at, juce::uint64 value, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        at[i] = (juce::uint8) (value >> (8 * i));
}
} // namespace

std::unique_ptr<juce::InputStream> ZipDirectory::without_names(juce::InputStream& archive) const
{
    juce::MemoryBlock directory(records.size() * entrySize + endSize, true);
    auto* out = static_cast<juce::uint8*>(directory.getData());
    for (size_t i = 0; i < records.size(); ++i, out += entrySize)
    {
        std::memcpy(out, archiveBytes + records[i], entrySize);
        put(out + 28, 0, 6); // no name, extra field or comment
        if (! located[i])
            put(out + 42, saturated32, 4);
    }
    put(out, endSignature, 4);
    put(out + 8, records.size(), 2);
    put(out + 10, records.size(), 2);
    put(out + 12, records.size() * entrySize, 4);
    put(out + 16, directoryStart, 4);
    return std::make_unique<ArchiveWithDirectory>(archive, (juce::int64) directoryStart, std::move(directory));
}

juce::Result ZipDirectory::matches(const juce::ZipFile& zip) const
{
    for (int i = 0; i < size(); ++i)
    {
        const auto* entry = zip.getEntry(i);
        if (entry == nullptr || entry->filename.isNotEmpty()
            || entry->uncompressedSize != (juce::int64) Bytes { archiveBytes + records[(size_t) i], entrySize }.u32(24))
            return juce::Result::fail("entry " + juce::String(i) + " is not the one the framework read");
    }
    if (zip.getNumEntries() != size())
        return juce::Result::fail("the framework read " + juce::String(zip.getNumEntries()) + " of "
                                  + juce::String(size()) + " entries");
    return juce::Result::ok();
}
