#include "engine/ArchiveLayout.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/EntryNames.h"
#include "engine/EntryWriter.h"
#include "platform/platform.h"
#include "services/log_text.h"

namespace
{
std::string folded(std::string_view text)
{
    return juce::String::fromUTF8(text.data(), (int) text.size()).toLowerCase().toStdString();
}

// A path's hash, extended byte by byte, so that every folder on a walk is looked up in time of its
// last name alone. Two hashes modulo primes below 2^32 (64-bit products, as the 32-bit build has),
// with bases drawn per run: no archive can be made to collide on purpose.
struct PathHash
{
    static constexpr juce::uint64 primes[2] { 4294967291u, 4294967279u };
    juce::uint64 value[2] { 0, 0 };

    PathHash then(std::string_view bytes) const
    {
        static const juce::uint64 bases[2] { 257 + (juce::uint64) juce::Random::getSystemRandom().nextInt(1 << 30),
                                             257 + (juce::uint64) juce::Random::getSystemRandom().nextInt(1 << 30) };
        auto next = *this;
        for (const auto byte : bytes)
            for (int i = 0; i < 2; ++i)
                next.value[i] = (next.value[i] * bases[i] + (juce::uint8) byte + 1) % primes[i];
        return next;
    }
    juce::uint64 key() const { return value[0] << 32 | value[1]; }
};

// The link entries' resolved paths, by the hash of their folded text: the paths themselves stay
// where the check keeps them, one text per entry, so this costs a few bytes per link whatever
// number of names it holds.
class LinkPaths
{
public:
    explicit LinkPaths(const EntryPaths& paths_) : paths(paths_) {}

    void add(int index)
    {
        byHash.emplace(PathHash().then(folded(paths[index])).key(), index);
    }
    bool empty() const { return byHash.empty(); }

    // Whether the folded `path`, whose hash is `hash`, is a link entry's.
    bool contains(const PathHash& hash, std::string_view path) const
    {
        const auto [first, last] = byHash.equal_range(hash.key());
        for (auto found = first; found != last; ++found)
            if (folded(paths[found->second]) == path)
                return true;
        return false;
    }

private:
    const EntryPaths& paths;
    std::unordered_multimap<juce::uint64, int> byHash;
};

// An entry's path ('/' between names) resolved as text below the root into `resolved`: empty names
// and "." are left out, ".." takes off the name before it. False when it starts at the file
// system's root or climbs above the root.
bool resolve_below_root(std::string_view path, std::string& resolved, size_t& depth)
{
    resolved.clear();
    depth = 0;
    if (! path.empty() && path[0] == '/')
        return false;
    for (size_t start = 0; start <= path.size();)
    {
        const auto end = std::min(path.find('/', start), path.size());
        const auto name = path.substr(start, end - start);
        start = end + 1;
        if (name == "..")
        {
            if (depth == 0)
                return false;
            const auto cut = resolved.rfind('/');
            resolved.resize(cut == std::string::npos ? 0 : cut);
            --depth;
        }
        else if (! name.empty() && name != ".")
        {
            resolved.append(depth > 0 ? "/" : "").append(name);
            ++depth;
        }
    }
    return true;
}

// The first `count` names of a resolved path.
std::string_view first_names(std::string_view path, size_t count)
{
    size_t end = 0;
    for (size_t i = 0; i < count && end < path.size(); ++i)
        end = std::min(path.find('/', end + (i > 0 ? 1 : 0)), path.size());
    return path.substr(0, end);
}

// How many names the first link among a resolved path's first `count` names, below the build,
// ends after; 0 when there is none.
size_t link_on_the_way(const LinkPaths& links, const std::string& path, size_t count, size_t buildDepth)
{
    if (links.empty())
        return 0;
    const auto text = folded(path);
    PathHash hash;
    for (size_t start = 0, names = 1; start < text.size() && names <= count; ++names)
    {
        const auto end = std::min(text.find('/', start), text.size());
        // The name with the separator before it: the folder above's hash goes on.
        const auto from = start > 0 ? start - 1 : 0;
        hash = hash.then(std::string_view(text).substr(from, end - from));
        if (names > buildDepth && links.contains(hash, std::string_view(text).substr(0, end)))
            return names;
        start = end + 1;
    }
    return 0;
}

juce::Result check_link_target(const LinkPaths& links, const std::string& link, size_t buildDepth,
                               const juce::String& path, const juce::String& target)
{
    const auto fail = [&](const juce::String& why) {
        return juce::Result::fail("Link " + shown_in_log(path).quoted() + " " + why + ": " + shown_in_log(target).quoted());
    };
    const auto raw = target.toStdString();
    if (! is_utf8_text(raw.data(), raw.size()))
        return juce::Result::fail("Link " + shown_in_log(path).quoted() + " has a target that is not valid UTF-8: " + shown_in_log(raw.data(), raw.size()).quoted());
    // A drive, a stream or a leading separator: not relative to the link.
    if (raw.empty() || raw.find(':') != std::string::npos || platform::is_link_target_separator((juce::uint8) raw[0]))
        return fail("does not point inside the build's folder");
    if (name_read_otherwise(raw))
        return fail("has a target with a name that Windows reads as another name");

    // The walk's folder as folded text, and where each folder on the way to it ends, from the root down.
    struct Folder
    {
        PathHash hash;
        size_t length;
    };
    auto at = folded(link);
    std::vector<Folder> folders { { PathHash(), 0 } };
    for (size_t end = at.find('/'); end != std::string::npos; end = at.find('/', end + 1))
    {
        const auto from = folders.back().length;
        folders.push_back({ folders.back().hash.then(std::string_view(at).substr(from, end - from)), end });
    }
    at.resize(folders.back().length);

    const auto text = folded(raw);
    for (size_t start = 0; start < text.size();)
    {
        auto end = start;
        // Separators are ASCII, which no byte of a longer UTF-8 character is.
        while (end < text.size() && ! platform::is_link_target_separator((juce::uint8) text[end]))
            ++end;
        const auto name = std::string_view(text).substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".")
            continue;
        if (name == "..")
        {
            if (folders.size() - 1 == buildDepth)
                return fail("points outside the build's folder");
            folders.pop_back();
            continue;
        }
        at.resize(folders.back().length);
        const auto before = at.size();
        at.append(before > 0 ? "/" : "").append(name);
        folders.push_back({ folders.back().hash.then(std::string_view(at).substr(before)), at.size() });
        // Where another link leads is that link's own affair; a chain could add up to outside.
        if (links.contains(folders.back().hash, at))
            return fail("points through another link");
    }
    return juce::Result::ok();
}
} // namespace

void EntryPaths::clear()
{
    views.clear();
    own.clear();
}

void EntryPaths::add(std::string_view name, const std::string& resolved)
{
    if (name.substr(0, resolved.size()) == resolved)
        views.push_back(name.substr(0, resolved.size()));
    else
        views.push_back(own.emplace_back(resolved));
}

juce::Result check_archive_layout(juce::ZipFile& zip, const ZipDirectory& directory, const juce::String& buildName,
                                  const juce::File& root, const std::function<bool()>& stopRequested,
                                  EntryPaths& paths, int& failedIndex)
{
    const auto cancelled = [&] {
        failedIndex = -1;
        return juce::Result::fail("Cancelled");
    };
    const size_t buildDepth = buildName.isEmpty() ? 0 : 1;
    const auto isBuild = [&](std::string_view name) {
        const auto text = juce::String::fromUTF8(name.data(), (int) name.size());
        return juce::File::areFileNamesCaseSensitive() ? text == buildName : text.equalsIgnoreCase(buildName);
    };

    // Each entry's resolved path is kept once, in `paths`: no name is held on its own.
    const auto count = zip.getNumEntries();
    std::vector<bool> inside((size_t) count);
    LinkPaths links(paths);
    std::string resolved;
    size_t depth = 0;
    paths.clear();
    paths.reserve(count);
    for (int i = 0; i < count; ++i)
    {
        if (stopRequested())
            return cancelled();
        const auto raw = with_separator(std::string(directory.name(i)), '\\', '/');
        // Judged as the very text the OS gets: no decoder on the way may read it otherwise.
        if (! is_utf8_text(raw.data(), raw.size()))
        {
            failedIndex = i;
            return juce::Result::fail("Entry " + shown_in_log(raw.data(), raw.size()).quoted() + " has a name that is not valid UTF-8");
        }
        inside[(size_t) i] = resolve_below_root(raw, resolved, depth) && (buildDepth == 0 || (depth > 0 && isBuild(first_names(resolved, 1))));
        paths.add(directory.name(i), resolved);
        if (inside[(size_t) i] && zip.getEntry(i)->isSymbolicLink)
            links.add(i);
    }

    for (int i = 0; i < count; ++i)
    {
        if (stopRequested())
            return cancelled();
        failedIndex = i;
        const auto& entry = *zip.getEntry(i);
        const auto path = entry_path(directory.name(i));
        if (path.isEmpty())
            continue;
        if (! inside[(size_t) i])
            return juce::Result::fail("Entry " + shown_in_log(path) + " is outside the target directory");

        const auto names = std::string(paths[i]);
        // Judged as resolved, as the OS gets it: Windows would write such a name as another one,
        // which no later removal of the build reaches.
        if (const auto name = name_read_otherwise(names))
            return juce::Result::fail("Entry " + shown_in_log(path).quoted() + " has a name that Windows reads as another name: "
                                      + shown_in_log(name->data(), name->size()).quoted());
        depth = names.empty() ? 0 : (size_t) std::count(names.begin(), names.end(), '/') + 1;
        // A folder entry is created where it names; anything else only below its parent.
        const bool isFolder = path.endsWithChar('/');
        const auto folders = isFolder || depth == 0 ? depth : depth - 1;

        // Refused here rather than after making every folder the OS still takes on the way.
        const auto parent = first_names(names, folders);
        if (depth > 0
            && (! platform::path_fits(file_below(root, names).getFullPathName(), isFolder)
                || ! platform::path_fits(file_below(root, std::string(parent)).getFullPathName(), true)))
            return juce::Result::fail("Entry " + shown_in_log(path).quoted() + " is too long a path for the OS");

        if (const auto through = link_on_the_way(links, names, folders, buildDepth); through > 0)
        {
            const auto link = first_names(names, through);
            return juce::Result::fail("Entry " + shown_in_log(path).quoted() + " passes through link "
                                      + shown_in_log(link.data(), link.size()).quoted());
        }

        if (entry.isSymbolicLink)
        {
            if (depth == buildDepth || isFolder)
                return juce::Result::fail("Link " + shown_in_log(path).quoted() + " is not a file of the build");
            juce::String linked;
            auto result = read_link_target(zip, i, directory, linked);
            if (result.wasOk())
                result = check_link_target(links, names, buildDepth, path, linked);
            if (result.failed())
                return result;
        }
    }
    failedIndex = -1;
    return juce::Result::ok();
}
