// solvanter-bench-layout: times the layout check and the unzip of a generated archive, once.
//
// Usage: solvanter-bench-layout --kind deep|many|links|names --folder DIR --result FILE [--save ZIP]
//
//   deep: 10 entries each 2,000 folders deep ("Solvanter/d/d/.../d/<n>") and a link in the build;
//   many: 50,000 small files in 500 folders and a link in the build;
//   links: 100 link entries each 32,700 names deep (64 KB names), which the check refuses as
//   longer than the OS takes: the benchmark serves it to the launcher for its peak memory;
//   names: 1,500 empty entries whose 64 KB names stand in the directory alone (their local headers
//   name nothing), refused the same way: names and nothing else, for the same figure.
//
// Builds the archive in memory (and writes it to ZIP when asked, for a reference unzip), then
// times check_archive_layout alone and StagedBuild::unzip of it into DIR/Solvanter.installing
// (which checks the layout again before it writes). FILE receives "key=value" lines:
//   archive_bytes, entries, check_seconds, check_result, unzip_seconds, unzip_result
// Exit status: 0 when the check passed (the unzip may fail where the OS refuses a path),
// 1 when it failed, 2 on bad arguments.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "engine/ArchiveLayout.h"
#include "engine/StagedBuild.h"
#include "engine/ZipDirectory.h"

namespace
{
double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void add(juce::ZipFile::Builder& builder, const juce::String& name, const std::string& bytes)
{
    builder.addEntry(new juce::MemoryInputStream(bytes.data(), bytes.size(), true), 0, name, juce::Time());
}

// The builder records no file modes: the first `count` entries are made links in the central
// directory, which the end record (the last 22 bytes) locates.
void make_first_entries_links(juce::MemoryBlock& zip, int count)
{
    auto* bytes = static_cast<juce::uint8*>(zip.getData());
    const auto u16 = [bytes](size_t at) { return (size_t) bytes[at] | (size_t) bytes[at + 1] << 8; };
    const auto end = zip.getSize() - 22;
    auto at = u16(end + 16) | u16(end + 18) << 16;
    const juce::uint32 mode = 0120777u << 16;
    for (int entry = 0; entry < count; ++entry)
    {
        for (size_t i = 0; i < 4; ++i)
            bytes[at + 38 + i] = (juce::uint8) (mode >> (8 * i));
        at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
    }
}

// Written field by field: the framework's builder puts every name in the local header too.
juce::MemoryBlock make_names_archive()
{
    juce::MemoryOutputStream out;
    const auto u16 = [&out](int v) { out.writeShort((short) v); };
    const auto u32 = [&out](juce::uint32 v) { out.writeInt((int) v); };
    constexpr int count = 1500;
    std::string deep;
    while (deep.size() < 65500)
        deep += "/a";
    std::vector<juce::uint32> offsets;
    for (int i = 0; i < count; ++i)
    {
        offsets.push_back((juce::uint32) out.getPosition());
        u32(0x04034b50);
        u16(10), u16(0), u16(0), u16(0), u16(0x21); // version, flags, stored, time, date
        u32(0), u32(0), u32(0);                     // CRC-32 and sizes: empty
        u16(0), u16(0);                             // no name, no extra field
    }
    const auto directoryStart = (juce::uint32) out.getPosition();
    for (int i = 0; i < count; ++i)
    {
        const auto name = "Solvanter/n" + std::to_string(10000 + i) + deep;
        u32(0x02014b50);
        u16(10), u16(10), u16(0), u16(0), u16(0), u16(0x21);
        u32(0), u32(0), u32(0);
        u16((int) name.size()), u16(0), u16(0), u16(0), u16(0); // name, extra, comment, disk, attributes
        u32(0), u32(offsets[(size_t) i]);
        out.write(name.data(), name.size());
    }
    const auto directorySize = (juce::uint32) out.getPosition() - directoryStart;
    u32(0x06054b50);
    u16(0), u16(0), u16(count), u16(count);
    u32(directorySize), u32(directoryStart);
    u16(0);
    return out.getMemoryBlock();
}

juce::MemoryBlock make_archive(const std::string& kind)
{
    if (kind == "names")
        return make_names_archive();
    juce::ZipFile::Builder builder;
    int links = 0;
    if (kind == "links")
    {
        std::string deep;
        for (int level = 0; level < 32700; ++level)
            deep += "/a";
        for (; links < 100; ++links)
            add(builder, "Solvanter/l" + juce::String(links) + juce::String(deep), "a");
    }
    add(builder, "Solvanter/version.txt", "about/version");
    add(builder, "Solvanter/about/version", "1.0.0");
    if (kind == "deep")
    {
        juce::String deep = "Solvanter";
        for (int level = 0; level < 2000; ++level)
            deep += "/d";
        for (int i = 0; i < 10; ++i)
            add(builder, deep + "/" + juce::String(i), "deep");
    }
    else if (kind == "many")
    {
        for (int i = 0; i < 50000; ++i)
            add(builder, "Solvanter/data/folder" + juce::String(i / 100) + "/file" + juce::String(i) + ".txt",
                "entry " + std::to_string(i) + "\n");
    }
    juce::MemoryOutputStream out;
    builder.writeToStream(out, nullptr);
    auto zip = out.getMemoryBlock();
    // The links, and version.txt after them, which is one in every kind.
    make_first_entries_links(zip, links + 1);
    return zip;
}
} // namespace

int main(int argc, char** argv)
{
    std::string kind, folder, resultPath, savePath;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string option = argv[i];
        if (option == "--kind")
            kind = argv[i + 1];
        else if (option == "--folder")
            folder = argv[i + 1];
        else if (option == "--result")
            resultPath = argv[i + 1];
        else if (option == "--save")
            savePath = argv[i + 1];
    }
    if ((kind != "deep" && kind != "many" && kind != "links" && kind != "names") || folder.empty() || resultPath.empty() || argc % 2 == 0)
    {
        std::fprintf(stderr, "usage: %s --kind deep|many|links|names --folder DIR --result FILE [--save ZIP]\n", argv[0]);
        return 2;
    }

    const auto archive = make_archive(kind);
    if (! savePath.empty())
        juce::File(savePath).replaceWithData(archive.getData(), archive.getSize());

    ZipDirectory directory;
    auto readable = directory.read(archive);
    juce::MemoryInputStream input(archive, false);
    const auto stream = directory.without_names(input);
    juce::ZipFile zip(*stream);
    if (readable.wasOk())
        readable = directory.matches(zip);
    if (readable.failed())
    {
        std::fprintf(stderr, "archive not readable: %s\n", readable.getErrorMessage().toRawUTF8());
        return 1;
    }

    const auto never = [] { return false; };
    EntryPaths paths;
    int failedIndex = -1;
    const auto root = juce::File(folder).getChildFile("Solvanter.installing");
    const auto checkStart = std::chrono::steady_clock::now();
    const auto check = check_archive_layout(zip, directory, "Solvanter", root, never, paths, failedIndex);
    const auto checkSeconds = seconds_since(checkStart);

    const StagedBuild build(juce::File(folder).getChildFile("Solvanter"));
    const auto unzipStart = std::chrono::steady_clock::now();
    const auto unzip = build.unzip(zip, directory, true, never);
    const auto unzipSeconds = seconds_since(unzipStart);
    const auto outcome = [](const juce::Result& r) { return r.wasOk() ? std::string("ok") : r.getErrorMessage().toStdString(); };

    std::ofstream out(resultPath, std::ios::trunc);
    out << "archive_bytes=" << archive.getSize() << "\n"
        << "entries=" << zip.getNumEntries() << "\n"
        << "check_seconds=" << checkSeconds << "\n"
        << "check_result=" << outcome(check).substr(0, 200) << "\n"
        << "unzip_seconds=" << unzipSeconds << "\n"
        << "unzip_result=" << outcome(unzip).substr(0, 200) << "\n";
    out.close();
    return check.wasOk() && out ? 0 : 1;
}
