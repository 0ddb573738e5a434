#include "engine/EntryWriter.h"

#include <zlib.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "engine/EntryNames.h"
#include "platform/platform.h"
#include "services/log_text.h"

namespace
{
// Longer than any path the OS takes; a link's target is read whole into memory.
constexpr juce::int64 longestLinkTarget = 4096;

// Reads entry `index` to its end, handing each piece to `sink`, and fails unless exactly the
// declared number of bytes came and their CRC-32 is the directory's.
juce::Result read_checked(juce::ZipFile& zip, int index, juce::uint32 crc, const juce::String& where,
                          const std::function<bool(const void*, size_t)>& sink)
{
    const auto& entry = *zip.getEntry(index);
    std::unique_ptr<juce::InputStream> in(zip.createStreamForEntry(index));
    if (in == nullptr)
        return juce::Result::fail("Failed to open the zip file for reading");

    const auto declared = entry.uncompressedSize;
    std::vector<char> buffer(65536);
    juce::int64 received = 0;
    uLong computed = crc32(0L, Z_NULL, 0);
    for (;;)
    {
        // One byte more than is left is enough to tell that the entry goes on.
        const auto wanted = (int) juce::jmin((juce::int64) buffer.size(), declared - received + 1);
        const auto got = in->read(buffer.data(), wanted);
        if (got <= 0)
            break;
        if (received + got > declared)
            return juce::Result::fail("Entry data is longer than its declared " + juce::String(declared)
                                      + " bytes: " + shown_in_log(where));
        computed = crc32(computed, reinterpret_cast<const Bytef*>(buffer.data()), (uInt) got);
        if (! sink(buffer.data(), (size_t) got))
            return juce::Result::fail("Failed to write to target file: " + shown_in_log(where));
        received += got;
    }

    if (received != declared)
        return juce::Result::fail("Entry data ends after " + juce::String(received) + " of " + juce::String(declared)
                                  + " bytes: " + shown_in_log(where));
    if ((juce::uint32) computed != crc)
        return juce::Result::fail("Entry data does not match its CRC-32: " + shown_in_log(where));
    return juce::Result::ok();
}

enum class Folders
{
    made,
    throughLink, // the framework's own guard, kept for what the archive's layout check cannot know of
    failed
};

// Makes the folders `relative` names below `root`, from the root down. Existing ones must not be
// links; below the first that is missing nothing can be, so from there on they are only created.
Folders make_folders(const juce::File& root, const std::string& relative, juce::Result& failure)
{
    bool creating = false;
    for (size_t end = 0; end < relative.size();)
    {
        end = std::min(relative.find('/', end + 1), relative.size());
        const auto folder = file_below(root, relative.substr(0, end));
        if (! creating)
        {
            const auto kind = platform::path_kind(folder);
            if (kind == platform::PathKind::link)
                return Folders::throughLink;
            creating = kind != platform::PathKind::folder;
        }
        if (creating)
        {
            failure = folder.createDirectory();
            if (failure.failed())
                return Folders::failed;
        }
    }
    return Folders::made;
}
} // namespace

juce::String entry_path(std::string_view name)
{
    const auto path = with_separator(std::string(name), '\\', '/');
    return juce::String::fromUTF8(path.data(), (int) path.size());
}

std::string with_separator(std::string text, char from, char to)
{
    // Byte by byte: decoding the text on the way would read invalid UTF-8 as other characters.
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

juce::File file_below(const juce::File& root, const std::string& relative)
{
    if (relative.empty())
        return root;
    const auto native = with_separator(relative, '/', (char) juce::File::getSeparatorChar());
    return juce::File::createFileWithoutCheckingPath(juce::File::addTrailingSeparator(root.getFullPathName())
                                                     + juce::String::fromUTF8(native.data(), (int) native.size()));
}

juce::Result read_link_target(juce::ZipFile& zip, int index, const ZipDirectory& directory, juce::String& target)
{
    const auto& entry = *zip.getEntry(index);
    if (entry.uncompressedSize > longestLinkTarget)
        return juce::Result::fail("Link target is longer than " + juce::String(longestLinkTarget) + " bytes");

    const auto name = directory.name(index);
    juce::MemoryOutputStream text;
    const auto result = read_checked(zip, index, directory.crc(index), juce::String::fromUTF8(name.data(), (int) name.size()),
                                     [&text](const void* data, size_t size) {
        return text.write(data, size);
    });
    target = result.wasOk() ? text.toUTF8() : juce::String();
    return result;
}

juce::Result write_entry(juce::ZipFile& zip, int index, const ZipDirectory& directory, const juce::File& root,
                         std::string_view relative)
{
    const auto& entry = *zip.getEntry(index);
    const auto path = entry_path(directory.name(index));
    if (path.isEmpty())
        return juce::Result::ok();

    const auto name = std::string(relative);
    // Whatever the check before judged, no name reaches the OS that climbs or means anything else.
    if (! name.empty() && ! is_plain_relative_path(with_separator(name, '/', (char) juce::File::getSeparatorChar())))
        return juce::Result::fail("Entry path cannot be written as it is: " + shown_in_log(name.data(), name.size()).quoted());
    const auto target = file_below(root, name);
    auto made = juce::Result::ok();
    if (path.endsWithChar('/'))
    {
        if (make_folders(root, name, made) == Folders::throughLink)
            return juce::Result::fail("Directory leads through symlink: " + shown_in_log(target.getFullPathName()));
        return made;
    }

    const auto slash = name.rfind('/');
    const auto folders = make_folders(root, slash == std::string::npos ? std::string() : name.substr(0, slash), made);
    if (folders == Folders::throughLink)
        return juce::Result::fail("Parent directory leads through symlink for target file: " + shown_in_log(target.getFullPathName()));
    if (folders == Folders::failed)
        return juce::Result::fail("Failed to create target folder: " + shown_in_log(target.getParentDirectory().getFullPathName()));
    if (target == root || ((target.exists() || target.isSymbolicLink()) && ! target.deleteFile()))
        return juce::Result::fail("Failed to write to target file: " + shown_in_log(target.getFullPathName()));

    if (entry.isSymbolicLink)
    {
        juce::String linked;
        const auto result = read_link_target(zip, index, directory, linked);
        if (result.failed())
            return result;
        const auto native = with_separator(linked.toStdString(), '/', (char) juce::File::getSeparatorChar());
        if (! is_utf8_text(native.data(), native.size()))
            return juce::Result::fail("Link target cannot be written as it is: " + shown_in_log(native.data(), native.size()).quoted());
        if (! juce::File::createSymbolicLink(target, juce::String::fromUTF8(native.data(), (int) native.size()), true))
            return juce::Result::fail("Failed to create symbolic link: " + shown_in_log(linked));
        // No times: setting them would follow the link.
        return juce::Result::ok();
    }

    juce::Result result = juce::Result::ok();
    {
        // Unbuffered, so that every write's outcome is known here.
        juce::FileOutputStream out(target, 0);
        if (out.failedToOpen())
            return juce::Result::fail("Failed to write to target file: " + shown_in_log(target.getFullPathName()));
        result = read_checked(zip, index, directory.crc(index), target.getFullPathName(),
                              [&out](const void* data, size_t size) { return out.write(data, size); });
    }
    if (result.failed())
        return result;

    target.setCreationTime(entry.fileTime);
    target.setLastModificationTime(entry.fileTime);
    target.setLastAccessTime(entry.fileTime);
    // An executable must stay executable.
    platform::apply_entry_permissions(entry, target);
    return juce::Result::ok();
}
