#include "engine/ArchiveLayout.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/EntryWriter.h"
#include "platform/platform.h"

namespace
{
using Names = std::vector<std::string>;

std::string folded(const std::string& name)
{
    return juce::String::fromUTF8(name.data(), (int) name.size()).toLowerCase().toStdString();
}

// The link entries' paths, name by name and without case: a path is walked down it once, and a
// walk ends where the tree does, since no link lies below.
struct LinkTree
{
    std::unordered_map<std::string, std::unique_ptr<LinkTree>> children;
    bool link = false;

    const LinkTree* child(const std::string& name) const
    {
        const auto found = children.find(folded(name));
        return found != children.end() ? found->second.get() : nullptr;
    }

    void add(const Names& names)
    {
        auto* node = this;
        for (const auto& name : names)
        {
            auto& next = node->children[folded(name)];
            if (next == nullptr)
                next = std::make_unique<LinkTree>();
            node = next.get();
        }
        node->link = true;
    }
};

// An entry's path ('/' between names) resolved as text below the root: empty names and "." are
// skipped, ".." takes off the name before it. False when it starts at the file system's root or
// climbs above the root.
bool resolve_below_root(const std::string& path, Names& names)
{
    names.clear();
    if (! path.empty() && path[0] == '/')
        return false;
    for (size_t start = 0; start <= path.size();)
    {
        const auto end = std::min(path.find('/', start), path.size());
        const std::string_view name(path.data() + start, end - start);
        start = end + 1;
        if (name == "..")
        {
            if (names.empty())
                return false;
            names.pop_back();
        }
        else if (! name.empty() && name != ".")
            names.emplace_back(name);
    }
    return true;
}

juce::String joined(const Names& names, size_t count)
{
    std::string path;
    for (size_t i = 0; i < count; ++i)
        path += (i > 0 ? "/" : "") + names[i];
    return juce::String::fromUTF8(path.data(), (int) path.size());
}

// How many names the first link among an entry's first `count` names, below the build, ends
// after; 0 when there is none.
size_t link_on_the_way(const LinkTree& links, const Names& names, size_t count, size_t buildDepth)
{
    const auto* node = &links;
    for (size_t i = 0; i < count && node != nullptr; ++i)
    {
        node = node->child(names[i]);
        if (node != nullptr && node->link && i >= buildDepth)
            return i + 1;
    }
    return 0;
}

juce::Result check_link_target(const LinkTree& links, const Names& link, size_t buildDepth, const juce::String& path,
                               const juce::String& target)
{
    const auto fail = [&](const juce::String& why) {
        return juce::Result::fail("Link " + path.quoted() + " " + why + ": " + target.quoted());
    };
    const auto text = target.toStdString();
    // A drive, a stream or a leading separator: not relative to the link.
    if (text.empty() || text.find(':') != std::string::npos || platform::is_link_target_separator((juce::uint8) text[0]))
        return fail("does not point inside the build's folder");

    // The folders the walk is in, from the root down, each with the links below it (null: none).
    std::vector<const LinkTree*> at { &links };
    for (size_t i = 0; i + 1 < link.size(); ++i)
        at.push_back(at.back() != nullptr ? at.back()->child(link[i]) : nullptr);

    size_t start = 0;
    while (start < text.size())
    {
        auto end = start;
        // Separators are ASCII, which no byte of a longer UTF-8 character is.
        while (end < text.size() && ! platform::is_link_target_separator((juce::uint8) text[end]))
            ++end;
        const auto name = text.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".")
            continue;
        if (name == "..")
        {
            if (at.size() - 1 == buildDepth)
                return fail("points outside the build's folder");
            at.pop_back();
            continue;
        }
        at.push_back(at.back() != nullptr ? at.back()->child(name) : nullptr);
        // Where another link leads is that link's own affair; a chain could add up to outside.
        if (at.back() != nullptr && at.back()->link)
            return fail("points through another link");
    }
    return juce::Result::ok();
}
} // namespace

juce::Result check_archive_layout(juce::ZipFile& zip, const ZipDirectory& directory, const juce::String& buildName,
                                  const std::function<bool()>& stopRequested, juce::StringArray& paths,
                                  int& failedIndex)
{
    const auto cancelled = [&] {
        failedIndex = -1;
        return juce::Result::fail("Cancelled");
    };
    const size_t buildDepth = buildName.isEmpty() ? 0 : 1;
    const auto isBuild = [&](const std::string& name) {
        const auto text = juce::String::fromUTF8(name.data(), (int) name.size());
        return juce::File::areFileNamesCaseSensitive() ? text == buildName : text.equalsIgnoreCase(buildName);
    };

    const auto count = zip.getNumEntries();
    std::vector<Names> resolved((size_t) count);
    std::vector<bool> inside((size_t) count);
    LinkTree links;
    paths.clearQuick();
    for (int i = 0; i < count; ++i)
    {
        if (stopRequested())
            return cancelled();
        auto& names = resolved[(size_t) i];
        inside[(size_t) i] = resolve_below_root(entry_path(*zip.getEntry(i)).toStdString(), names)
                             && (buildDepth == 0 || (! names.empty() && isBuild(names[0])));
        paths.add(joined(names, names.size()));
        if (inside[(size_t) i] && zip.getEntry(i)->isSymbolicLink)
            links.add(names);
    }

    for (int i = 0; i < count; ++i)
    {
        if (stopRequested())
            return cancelled();
        failedIndex = i;
        const auto& entry = *zip.getEntry(i);
        const auto path = entry_path(entry);
        const auto& names = resolved[(size_t) i];
        if (path.isEmpty())
            continue;
        if (! inside[(size_t) i])
            return juce::Result::fail("Entry " + path + " is outside the target directory");

        // A folder entry is created where it names; anything else only below its parent.
        const bool isFolder = path.endsWithChar('/');
        const auto folders = isFolder || names.empty() ? names.size() : names.size() - 1;
        if (const auto through = link_on_the_way(links, names, folders, buildDepth); through > 0)
            return juce::Result::fail("Entry " + path.quoted() + " passes through link " + joined(names, through).quoted());

        if (entry.isSymbolicLink)
        {
            if (names.size() == buildDepth || isFolder)
                return juce::Result::fail("Link " + path.quoted() + " is not a file of the build");
            juce::String linked;
            auto result = read_link_target(zip, i, directory.crc(i), linked);
            if (result.wasOk())
                result = check_link_target(links, names, buildDepth, path, linked);
            if (result.failed())
                return result;
        }
    }
    failedIndex = -1;
    return juce::Result::ok();
}
