#include "engine/ArchiveLayout.h"

#include <set>

#include "engine/EntryWriter.h"

namespace
{
using Links = std::set<juce::String>;

juce::String key(const juce::File& file)
{
    return file.getFullPathName().toLowerCase();
}

// The first link of the archive that `file`, or a folder above it up to `build`, is; as a path
// below `root`, like the entries' own.
juce::String link_on_the_way(const Links& links, const juce::File& root, const juce::File& build, juce::File file)
{
    for (; file != build && file.isAChildOf(build); file = file.getParentDirectory())
        if (links.count(key(file)) > 0)
            return file.getRelativePathFrom(root).replaceCharacter('\\', '/');
    return {};
}

juce::Result check_link_target(const Links& links, const juce::File& build, const juce::File& link,
                               const juce::String& path, const juce::String& target)
{
    const auto fail = [&](const juce::String& why) {
        return juce::Result::fail("Link " + path.quoted() + " " + why + ": " + target.quoted());
    };
    // A drive, a stream or a leading separator: not relative to the link.
    if (target.isEmpty() || target.containsChar(':') || target.startsWithChar('/') || target.startsWithChar('\\'))
        return fail("does not point inside the build's folder");

    auto at = link.getParentDirectory();
    for (const auto& part : juce::StringArray::fromTokens(target, "/\\", ""))
    {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..")
        {
            if (at == build)
                return fail("points outside the build's folder");
            at = at.getParentDirectory();
            continue;
        }
        at = at.getChildFile(part);
        // Where another link leads is that link's own affair; a chain could add up to outside.
        if (links.count(key(at)) > 0)
            return fail("points through another link");
    }
    return juce::Result::ok();
}
} // namespace

juce::Result check_archive_layout(juce::ZipFile& zip, const ZipDirectory& directory, const juce::File& root,
                                  const juce::File& build, int& failedIndex)
{
    Links links;
    for (int i = 0; i < zip.getNumEntries(); ++i)
        if (zip.getEntry(i)->isSymbolicLink)
            links.insert(key(root.getChildFile(entry_path(*zip.getEntry(i)))));

    for (int i = 0; i < zip.getNumEntries(); ++i)
    {
        failedIndex = i;
        const auto& entry = *zip.getEntry(i);
        const auto path = entry_path(entry);
        const auto target = root.getChildFile(path);
        if (path.isEmpty())
            continue;
        if (target != build && ! target.isAChildOf(build))
            return juce::Result::fail("Entry " + path + " is outside the target directory");

        // A folder entry is created where it names; anything else only below its parent.
        const bool isFolder = path.endsWithChar('/');
        const auto through = link_on_the_way(links, root, build, isFolder ? target : target.getParentDirectory());
        if (through.isNotEmpty())
            return juce::Result::fail("Entry " + path.quoted() + " passes through link " + through.quoted());

        if (entry.isSymbolicLink)
        {
            if (target == build || isFolder)
                return juce::Result::fail("Link " + path.quoted() + " is not a file of the build");
            juce::String linked;
            auto result = read_link_target(zip, i, directory.crc(i), linked);
            if (result.wasOk())
                result = check_link_target(links, build, target, path, linked);
            if (result.failed())
                return result;
        }
    }
    failedIndex = -1;
    return juce::Result::ok();
}
