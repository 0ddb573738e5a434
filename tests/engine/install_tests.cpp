// The download and install steps against the dev backend and real archives, and the platform
// calls they use. An install that fails or is interrupted must leave the installed application whole.
#include "support/scene.h"

#include <climits>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>

#include "engine/EntryNames.h"
#include "engine/EntryWriter.h"
#include "engine/InstallLock.h"
#include "engine/StagedBuild.h"
#include "engine/ZipDirectory.h"
#include "platform/platform.h"
#include "services/utf8_text.h"

using devbackend::Reply;

TEST_F(EngineTest, DownloadNamesItsFailureOrFillsTheBlock)
{
    const std::string archive = "/builds/app.zip", query = "/launcher/Windows/get_build_url/app/current/Solvanter";
    // A signed address covers its query byte for byte; a rebuilt query would not match the signature.
    const std::string signedAddress = "/builds/app.zip?download&token=a%2Bb&sig=a+b/c%2f";
    // Large enough that the cut comes after the stream has opened.
    const auto cutShort = Reply::file(std::string(10000000, 'z')).with_mode(Reply::Mode::truncated, 9700000);
    const auto unsized = Reply::file(std::string(60000, 'q')).with_mode(Reply::Mode::no_content_length);
    // The transport drops the first header line; the stream still knows the length.
    const auto lengthFirst = Reply::file(std::string(10000000, 'f')).with_mode(Reply::Mode::length_first, 5000000);
    const struct
    {
        std::string path;
        Reply reply;
        const char* message;
        juce::StringArray lines;
        const char* label; // nullptr: "Downloading Solvanter"
        double progress;
        size_t size;
    } rows[] = {
        { query, Reply::json(R"({"url":")" + backend.origin() + signedAddress + R"("})"),
          "Download failed with status code: 404", {}, nullptr, 0.0, 0 },
        { archive, Reply().with_mode(Reply::Mode::drop_connection), "Download timed out after *.? seconds", {}, nullptr,
          0.0, 0 },
        { query, Reply::json(R"({"link":"elsewhere"})"), "Download url query failed", {}, nullptr, 0.0, 0 },
        { query, Reply::json(R"({"url":"   "})"), "No download url available", {}, nullptr, 0.0, 0 },
        { query, Reply::nested(100000), "Download url query failed",
          { "[ERROR]: API reply nested too deeply (more than 64 levels)" }, nullptr, 0.0, 0 },
        // Announced beyond the ceiling (lowered to 12 MB here): refused before a byte is read.
        { archive, Reply::file(std::string(12 * 1024 * 1024 + 1, 'a')), "Download too large (more than 12.0 MB)",
          { "[INFO]: Download size: 12.00 MB" }, nullptr, 0.0, 0 },
        { archive, cutShort, "Download finished incomplete (0.97)",
          { "[INFO]: Total bytes: 10000000", "[INFO]: downloaded:  9700000", "[INFO]: Data size:   9700000" },
          "Downloading Solvanter:  9.3 / 9.5 MB", 0.97, 9700000 },
        // Without "Content-Length" 50,000,000 bytes are assumed and completeness is not checked.
        { archive, unsized, "", { "[INFO]: Download size: 47.68 MB", "[INFO]: Download finished in * seconds (* MB/s)" },
          "Downloading Solvanter:  0.1 / 47.7 MB", 1.0, 60000 },
        { archive, lengthFirst, "Download finished incomplete (0.50)",
          { "[INFO]: Download size: 9.54 MB", "[INFO]: Total bytes: 10000000", "[INFO]: downloaded:  5000000" },
          "Downloading Solvanter:  4.8 / 9.5 MB", 0.5, 5000000 },
    };

    auto launcher = make_launcher();
    LauncherComponentProbe probe { *launcher };
    probe.archiveCeiling() = 12 * 1024 * 1024;
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.message);
        log.clear();
        backend.script(row.path, row.reply);
        juce::MemoryBlock data;
        const auto message = probe.download_app(data).getErrorMessage();
        EXPECT_TRUE(message.matchesWildcard(row.message, false)) << message;
        EXPECT_TRUE(log.logged(row.lines)) << log.lines().joinIntoString("\n");
        EXPECT_NEAR(launcher->progress, row.progress, 0.005);
        EXPECT_EQ(data.getSize(), row.size);
        pump(50);
        EXPECT_EQ(probe.label().getText(), row.label != nullptr ? row.label : "Downloading Solvanter");
        // Shown once the server has answered with the archive.
        EXPECT_EQ(probe.bar().isVisible(), log.logged({ "[INFO]: Download size: *" }));
        probe.bar().setVisible(false);
    }
    const auto requests = backend.requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), signedAddress), 1);

    // An endless body without "Content-Length" ends at the ceiling.
    backend.script(archive, Reply::file("endless").with_mode(Reply::Mode::endless));
    juce::MemoryBlock data;
    EXPECT_EQ(probe.download_app(data).getErrorMessage(), "Download too large (more than 12.0 MB)");
}

namespace
{
const ZipEntry exe { "Solvanter/Solvanter.exe", "#!/bin/sh\n", 0100755 }, version { "Solvanter/version.txt", "2.0.0" };

// The first entry's deflated data starts with an invalid block type.
std::string with_corrupt_first_entry(std::string zip)
{
    zip[30 + (size_t) exe.name.getNumBytesAsUTF8()] = '\xff';
    return zip;
}

// Enough entries, each claiming nearly the largest size a ZIP entry can have, to exceed the free
// space of the launcher's folder.
std::string more_than_the_disk_holds()
{
    std::vector<ZipEntry> entries { exe, version };
    for (juce::int64 i = 0; i <= launcher_directory().getBytesFreeOnVolume() / 0xfffffffeLL; ++i)
        entries.push_back({ "Solvanter/data" + juce::String(i), "d", 0, 0, 0xfffffffeLL });
    return zip_of(entries);
}

// The archive's little-endian field at `at`, and the archive with it set to `value`.
size_t field_at(const std::string& zip, size_t at, size_t bytes = 4)
{
    size_t value = 0;
    for (size_t i = 0; i < bytes; ++i)
        value |= (size_t) (juce::uint8) zip[at + i] << (8 * i);
    return value;
}
std::string with_field(std::string zip, size_t at, size_t value, size_t bytes = 4)
{
    for (size_t i = 0; i < bytes; ++i)
        zip[at + i] = (char) (value >> (8 * i));
    return zip;
}

// A ZIP64 end record with `extensible` bytes of extensible data, of which its size field counts
// `declared`, and its locator, put before the end record; `signatures` are the two records'.
std::string with_zip64_trailer(std::string zip, juce::uint64 entries, size_t extensible = 0, size_t declared = 0,
                               const char* signatures = "PK\x06\x06PK\x06\x07")
{
    const auto field = [](juce::uint64 v, int bytes) { return std::string((const char*) &v, (size_t) bytes); };
    const auto zip64End = zip.size() - 22;
    const auto end = zip.substr(zip64End);
    const auto directorySize = field_at(end, 12), directoryStart = field_at(end, 16);
    zip.resize(zip64End);
    zip += std::string(signatures, 4) + field(44 + declared, 8) + field(45, 2) + field(45, 2) + field(0, 8)
           + field(entries, 8) + field(entries, 8) + field(directorySize, 8) + field(directoryStart, 8)
           + std::string(extensible, 'x');
    zip += std::string(signatures + 4, 4) + field(0, 4) + field(zip64End, 8) + field(1, 4);
    return zip + end;
}

// 70,003 entries: the classic end record can only say 65,535, a ZIP64 end record says the rest.
std::string more_entries_than_the_classic_record_counts()
{
    std::vector<ZipEntry> entries { exe, version };
    for (int i = (int) entries.size(); i < 70003; ++i)
        entries.push_back({ "Solvanter/data/" + juce::String(i), "" });
    const auto zip = with_zip64_trailer(zip_of(entries), 70003);
    return with_field(zip, zip.size() - 22 + 8, 0xffffffff);
}

// Where the directory's header of entry `index` starts.
size_t directory_entry(const std::string& zip, int index)
{
    auto at = field_at(zip, zip.size() - 6);
    for (int i = 0; i < index; ++i)
        at += 46 + field_at(zip, at + 28, 2) + field_at(zip, at + 30, 2) + field_at(zip, at + 32, 2);
    return at;
}

// Two entries of 1 MB of zeros whose directory headers both point at the first one's data.
std::string entries_sharing_their_data()
{
    const std::string zeros(1000000, '\0');
    const auto zip = zip_of({ exe, version, { "Solvanter/a.bin", zeros, 0, 9 }, { "Solvanter/b.bin", zeros, 0, 9 } });
    return with_field(zip, directory_entry(zip, 3) + 42, field_at(zip, directory_entry(zip, 2) + 42));
}

// The last entry's compressed size taken on into the directory; its data still inflate whole.
std::string data_running_into_the_directory()
{
    const auto zip = zip_of({ exe, version, { "Solvanter/z.bin", std::string(100000, 'z'), 0, 9 } });
    return with_field(zip, directory_entry(zip, 2) + 20, field_at(zip, directory_entry(zip, 2) + 20) + 10);
}

// The directory's headers in reverse order, so that the entries' data lie the other way round.
std::string with_directory_reversed(std::string zip)
{
    const auto start = directory_entry(zip, 0), end = zip.size() - 22;
    std::string reversed;
    for (int i = 0; directory_entry(zip, i) < end; ++i)
        reversed.insert(0, zip.substr(directory_entry(zip, i), directory_entry(zip, i + 1) - directory_entry(zip, i)));
    return zip.replace(start, end - start, reversed);
}

// An entry whose data is flipped in one byte, its size unchanged.
std::string with_flipped_byte(std::string zip, size_t at)
{
    zip[at] = (char) ~zip[at];
    return zip;
}

// The archive with a field of its end record (the last 22 bytes) set to `value`.
std::string with_end_field(const std::string& zip, size_t offset, juce::uint32 value, size_t bytes)
{
    return with_field(zip, zip.size() - 22 + offset, value, bytes);
}

// Ten entries each 1,500 folders deep (within what Linux takes below any likely test folder), then
// a link 1,300 folders deep that climbs one level more than the build holds.
std::string deep_archive()
{
    juce::String deep = "Solvanter", climb = "x";
    std::vector<ZipEntry> entries { exe, version };
    for (int level = 0; level < 1500; ++level)
        deep += "/d";
    for (int i = 0; i < 10; ++i)
        entries.push_back({ deep + "/" + juce::String(i), "deep" });
    for (int level = 0; level <= 1300; ++level)
        climb = "../" + climb;
    entries.push_back(link_entry(deep.substring(0, 9 + 2 * 1300) + "/up", climb.toStdString()));
    return zip_of(entries);
}

// One entry with the longest name an archive holds, far beyond what the OS takes as a path: 32,760
// names deep.
juce::String longest_name()
{
    juce::String name = "Solvanter";
    while (name.length() < 65500)
        name += "/a";
    return name;
}

// Names with overlong UTF-8 forms of '.' (C0 AE, for each "@@@@" two) and '/' (C0 AF, in place of
// "..%%..%%"), which the framework's decoder reads as those characters.
std::string with_overlong_forms(const std::vector<ZipEntry>& entries)
{
    return with_bytes(with_bytes(zip_of(entries), "@@@@", "\xC0\xAE\xC0\xAE"), "..%%..%%", "..\xC0\xAF..\xC0\xAF");
}

// Entry 1's directory header pointing at entry 0's local header: the first two entries share data.
std::string second_entry_on_the_first_ones_data()
{
    const auto zip = zip_of({ exe, version });
    return with_field(zip, directory_entry(zip, 1) + 42, field_at(zip, directory_entry(zip, 0) + 42));
}

// The last entry's local extra field made 10 bytes longer: its data, read after it, runs into the directory.
std::string extra_field_running_into_the_directory()
{
    const auto zip = zip_of({ exe, version, { "Solvanter/z.txt", "zzzz" } });
    return with_field(zip, field_at(zip, directory_entry(zip, 2) + 42) + 28, 10, 2);
}

// "Solvanter/<folders>/<file>" whose path below the folder the install unzips into is `length` bytes
// long: folders of 200 bytes, then a file name of 50 to 250 bytes, so that its folder's path is far shorter.
juce::String name_of_path_length(int length)
{
    const auto below = length - launcher_child_file("Solvanter.installing/").getFullPathName().getNumBytesAsUTF8() - 1;
    juce::String name = "Solvanter/";
    while ((int) below - name.length() > 250)
        name += juce::String::repeatedString("f", 200) + "/";
    return name + juce::String::repeatedString("n", (int) below - name.length());
}

std::string random_bytes(size_t size)
{
    juce::Random random(42);
    std::string bytes(size, '\0');
    for (auto& b : bytes)
        b = (char) random.nextInt(256);
    return bytes;
}
} // namespace

TEST_F(EngineTest, FailedInstallKeepsTheInstalledApp)
{
    const auto outside = launcher_directory().getFullPathName().toStdString();
    const auto incompressible = zip_of({ exe, { "Solvanter/data.bin", random_bytes(100000), 0, 9 }, version });
    const struct
    {
        const char* name;
        std::string archive;
        const char* message;
        juce::StringArray lines;
        rlim_t fileSizeLimit = RLIM_INFINITY; // for this process's writes while it installs
    } rows[] = {
        { "CorruptEntry", with_corrupt_first_entry(zip_of({ { exe.name, std::string(100000, 'p'), 0100755, 9 }, version })),
          "Entry data ends after 0 of 100000 bytes: *Solvanter.exe", { "[ERROR]: Failed to unzip entry 0: \"Solvanter/Solvanter.exe\"" } },
        // Nothing is written before every entry has been looked at.
        { "EntryBesideTheAppFolder", zip_of({ exe, version, { "config.xml", "<planted/>" } }),
          "Entry config.xml is outside the target directory", { "[ERROR]: Failed to unzip entry 2: \"config.xml\"" } },
        { "EntryOutsideTheLauncherFolder", zip_of({ exe, { "../outside.txt", "evil" } }),
          "Entry ../outside.txt is outside the target directory", { "[ERROR]: Failed to unzip entry 1: \"../outside.txt\"" } },
        { "NoAppFolder", zip_of({ { "Other/Other.exe", "x" } }), "Entry Other/Other.exe is outside the target directory",
          { "[ERROR]: Failed to unzip entry 0: \"Other/Other.exe\"" } },
        // Links that lead outside, and paths through links, would reach the launcher's folder.
        { "LinkToAnOutsideFolder",
          zip_of({ exe, version, link_entry("Solvanter/out", outside), { "Solvanter/out/newdir/", "" },
                   { "Solvanter/out/precious.txt", "replaced" } }),
          "Link \"Solvanter/out\" does not point inside the build's folder: \"/*\"",
          { "[ERROR]: Failed to unzip entry 2: \"Solvanter/out\"" } },
        { "VersionLinkedOutside", zip_of({ exe, link_entry("Solvanter/version.txt", "../../precious.txt") }),
          "Link \"Solvanter/version.txt\" points outside the build's folder: \"../../precious.txt\"", {} },
        { "ExecutableLinkedOutside", zip_of({ link_entry(exe.name, outside + "/Solvanter/Solvanter.exe"), version }),
          "Link \"Solvanter/Solvanter.exe\" does not point inside the build's folder: *", {} },
        { "FolderThroughALink", zip_of({ exe, version, link_entry("Solvanter/here", "."), { "Solvanter/here/newdir/", "" } }),
          "Entry \"Solvanter/here/newdir/\" passes through link \"Solvanter/here\"",
          { "[ERROR]: Failed to unzip entry 3: \"Solvanter/here/newdir/\"" } },
        // A '~' is a folder's name like any other, never the home folder.
        { "LinkThroughAFolderNamedTilde",
          zip_of({ exe, version, { "Solvanter/~/", "" }, link_entry("Solvanter/esc", "~/../..") }),
          "Link \"Solvanter/esc\" points outside the build's folder: \"~/../..\"",
          { "[ERROR]: Failed to unzip entry 3: \"Solvanter/esc\"" } },
        { "VersionLinkedThroughTilde",
          zip_of({ exe, { "Solvanter/~/", "" }, link_entry("Solvanter/version.txt", "~/../../precious.txt") }),
          "Link \"Solvanter/version.txt\" points outside the build's folder: \"~/../../precious.txt\"", {} },
        { "LinkOneLevelOut", zip_of({ exe, version, link_entry("Solvanter/up", "../x") }),
          "Link \"Solvanter/up\" points outside the build's folder: \"../x\"", {} },
        { "ChainedLinks",
          zip_of({ exe, link_entry("Solvanter/x/up", ".."), link_entry("Solvanter/version.txt", "x/up/../precious.txt") }),
          "Link \"Solvanter/version.txt\" points through another link: \"x/up/../precious.txt\"", {} },
        // Judged in time linear in the names' length, so the refusal at the end comes.
        { "DeepPaths", deep_archive(), "Link \"Solvanter/d/d/*/up\" points outside the build's folder: \"../../*\"",
          { "[ERROR]: Failed to unzip entry 12: \"Solvanter/d/d/*/up\"" } },
        // Refused before any of the folders the OS would still take is made.
        { "LongestName", zip_of({ exe, version, { longest_name(), "far down" } }),
          "Entry \"Solvanter/a/a/*\" is too long a path for the OS", { "[ERROR]: Failed to unzip entry 2: \"Solvanter/a/a/*\"" } },
        { "LongestLinkName", zip_of({ exe, version, link_entry(longest_name(), "a") }),
          "Entry \"Solvanter/a/a/*\" is too long a path for the OS", {} },
        // What is judged is what the OS gets: names no decoder on the way would read otherwise.
        { "OverlongDotsInAName", with_overlong_forms({ exe, version, { "Solvanter/@@@@/@@@@/escaped.txt", "escaped" } }),
          "Entry \"Solvanter/\\xC0\\xAE\\xC0\\xAE/\\xC0\\xAE\\xC0\\xAE/escaped.txt\" has a name that is not valid UTF-8",
          { "[ERROR]: Failed to unzip entry 2: *" } },
        { "OverlongSeparatorsInAName", with_overlong_forms({ exe, version, { "Solvanter/..%%..%%escaped.txt", "escaped" } }),
          "Entry \"Solvanter/..\\xC0\\xAF..\\xC0\\xAFescaped.txt\" has a name that is not valid UTF-8", {} },
        { "OverlongDotsInALinkTarget", zip_of({ exe, version, link_entry("Solvanter/l", "\xC0\xAE\xC0\xAE/precious.txt") }),
          "Link \"Solvanter/l\" has a target that is not valid UTF-8: \"\\xC0\\xAE\\xC0\\xAE/precious.txt\"", {} },
        // Three-byte forms a lenient decoder reads as ".." and as half of a UTF-16 pair.
        { "ThreeByteOverlongDotsInAName",
          with_bytes(zip_of({ exe, version, { "Solvanter/######/escaped.txt", "escaped" } }), "######", "\xE0\x80\xAE\xE0\x80\xAE"),
          "Entry \"Solvanter/\\xE0\\x80\\xAE\\xE0\\x80\\xAE/escaped.txt\" has a name that is not valid UTF-8",
          { "[ERROR]: Failed to unzip entry 2: *" } },
        { "EncodedSurrogateInAName", with_bytes(zip_of({ exe, version, { "Solvanter/a###.txt", "a" } }), "###", "\xED\xA0\x80"),
          "Entry \"Solvanter/a\\xED\\xA0\\x80.txt\" has a name that is not valid UTF-8", {} },
        // A file below a link to its own folder is written through the link as surely as a folder.
        { "FileThroughALink", zip_of({ exe, version, link_entry("Solvanter/here", "."), { "Solvanter/here/planted.txt", "planted" } }),
          "Entry \"Solvanter/here/planted.txt\" passes through link \"Solvanter/here\"",
          { "[ERROR]: Failed to unzip entry 3: \"Solvanter/here/planted.txt\"" } },
        // The entry's own path is judged, not only its folder's (its limit: SoundArchivesOfUnusualShapeInstall).
        { "PathOneBytePastTheLimit", zip_of({ exe, version, { name_of_path_length(PATH_MAX), "far" } }),
          "Entry \"Solvanter/f*/nnn*\" is too long a path for the OS", { "[ERROR]: Failed to unzip entry 2: *" } },
        // Linux tells names apart by case: another case of the build's folder is another folder.
        { "CaseVariantOfTheBuildFolder", zip_of({ exe, version, { "solvanter/extra.txt", "x" } }),
          "Entry solvanter/extra.txt is outside the target directory", { "[ERROR]: Failed to unzip entry 2: \"solvanter/extra.txt\"" } },
        { "FolderWhereAFileCameFirst", zip_of({ exe, version, { "Solvanter/x", "file" }, { "Solvanter/x/", "" } }),
          "File exists", { "[ERROR]: Failed to unzip entry 3: \"Solvanter/x/\"" } },
        { "MoreEntriesThanTheClassicRecordCounts", more_entries_than_the_classic_record_counts(),
          "Failed to unzip downloaded build", { "[ERROR]: Zip directory cannot be read whole: the archive needs ZIP64*" } },
        // An end record that counts fewer entries than the directory holds would leave the rest out.
        { "EndRecordCountsFewerEntries",
          with_end_field(with_end_field(zip_of({ exe, version, { "Solvanter/lib.so", "l" } }), 8, 2, 2), 10, 2, 2),
          "Failed to unzip downloaded build",
          { "[ERROR]: Zip directory cannot be read whole: the directory holds more than the 2 entries it counts" } },
        // The framework copies everything from the directory's offset on: refused before it sees it.
        { "DirectoryOffsetAtTheStart", with_end_field(zip_of({ exe, version }), 16, 0, 4), "Failed to unzip downloaded build",
          { "[ERROR]: Zip directory cannot be read whole: entry 0 of 2 is missing" } },
        { "DirectoryLargerThanWhatPrecedesTheEndRecord", with_end_field(zip_of({ exe, version }), 12, 100000, 4),
          "Failed to unzip downloaded build",
          { "[ERROR]: Zip directory cannot be read whole: the directory does not fit before its end record" } },
        { "EndRecordCommentRunsPastTheArchive", with_end_field(zip_of({ exe, version }), 20, 1, 2),
          "Failed to unzip downloaded build",
          { "[ERROR]: Zip directory cannot be read whole: the end of central directory record runs past the archive" } },
        // A ZIP64 end record is as long as its own size field says, and both its records are signed.
        { "Zip64EndRecordLongerThanItsPlace", with_zip64_trailer(zip_of({ exe, version }), 2, 0, 8),
          "Failed to unzip downloaded build", { "[ERROR]: Zip directory cannot be read whole: the directory holds more*" } },
        { "Zip64EndRecordUnsigned", with_zip64_trailer(zip_of({ exe, version }), 2, 0, 0, "PK\x06\x09PK\x06\x07"),
          "Failed to unzip downloaded build", { "[ERROR]: Zip directory cannot be read whole: the directory holds more*" } },
        { "Zip64LocatorUnsigned", with_zip64_trailer(zip_of({ exe, version }), 2, 0, 0, "PK\x06\x06PK\x06\x09"),
          "Failed to unzip downloaded build", { "[ERROR]: Zip directory cannot be read whole: the directory holds more*" } },
        // Data that serve two entries, or run on into the directory, would be written again and again.
        { "EntriesShareTheirData", entries_sharing_their_data(), "Failed to unzip downloaded build",
          { "[ERROR]: Zip directory cannot be read whole: the data of entry 3 overlaps that of entry 2" } },
        { "DataRunsIntoTheDirectory", data_running_into_the_directory(), "Failed to unzip downloaded build",
          { "[ERROR]: Zip directory cannot be read whole: the data of entry 2 runs into the directory" } },
        { "FirstTwoEntriesShareTheirData", second_entry_on_the_first_ones_data(), "Failed to unzip downloaded build",
          { "[ERROR]: Zip directory cannot be read whole: the data of entry 1 overlaps that of entry 0" } },
        { "ExtraFieldRunsIntoTheDirectory", extra_field_running_into_the_directory(), "Failed to unzip downloaded build",
          { "[ERROR]: Zip directory cannot be read whole: the data of entry 2 runs into the directory" } },
        // Data the directory does not vouch for: flipped, or more than it declares.
        { "FlippedStoredByte", with_flipped_byte(zip_of({ exe, version }), 30 * 2 + 23 + 10 + 21 + 2),
          "Entry data does not match its CRC-32: *version.txt", { "[ERROR]: Failed to unzip entry 1: \"Solvanter/version.txt\"" } },
        { "FlippedIncompressibleByte", with_flipped_byte(incompressible, incompressible.size() / 2),
          "Entry data does not match its CRC-32: *data.bin", {} },
        { "InflatesBeyondItsSize", zip_of({ exe, { "Solvanter/data.bin", std::string(20000000, '\0'), 0, 9, 1000 }, version }),
          "Entry data is longer than its declared 1000 bytes: *data.bin", {} },
        { "NoExecutable", zip_of({ version }), "Could not find app build", { "[ERROR]: App build not found: *Solvanter.exe\"" } },
        { "ExecutableIsAFolder", zip_of({ { "Solvanter/Solvanter.exe/", "" }, version }), "Could not find app build",
          { "[ERROR]: App build not found: *Solvanter.exe\"" } },
        { "ExecutableCannotBeStarted", zip_of({ { exe.name, exe.bytes, 0100644 }, version }), "Could not find app build",
          { "[ERROR]: App build cannot be started: *Solvanter.exe\"" } },
        { "MoreThanTheDiskHolds", more_than_the_disk_holds(), "Not enough free disk space to unzip downloaded build",
          { "[ERROR]: Free disk space: * MB, needed: * MB" } },
        // A write the OS cuts short: the CRC-32 is over what was read, so only the write's own
        // outcome tells.
        { "WriteCutShort", zip_of({ exe, { "Solvanter/data.bin", std::string(3000000, 'd'), 0, 9 }, version }),
          "Failed to write to target file: *data.bin", { "[ERROR]: Failed to unzip entry 1: \"Solvanter/data.bin\"" },
          1000000 },
        { "StopRequested", zip_of({ exe, version }), "Cancelled", {} },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        log.clear();
        install_standin("1.0.0");
        ASSERT_TRUE(write_file(launcher_child_file("precious.txt"), "precious"));
        auto launcher = make_launcher();
        if (std::string(row.message) == "Cancelled")
            launcher->signalThreadShouldExit();
        rlimit unlimited {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
        // Past the limit a write fails with EFBIG instead of the signal ending the process.
        const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
        const rlimit limited { row.fileSizeLimit, unlimited.rlim_max };
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const auto result = LauncherComponentProbe { *launcher }.install_app({ row.archive.data(), row.archive.size() });
        setrlimit(RLIMIT_FSIZE, &unlimited);
        signal(SIGXFSZ, previousHandler);

        EXPECT_TRUE(result.getErrorMessage().matchesWildcard(row.message, false)) << result.getErrorMessage();
        EXPECT_TRUE(log.logged(row.lines)) << log.lines().joinIntoString("\n");
        EXPECT_EQ(installed_version(), "1.0.0");
        EXPECT_TRUE(platform::can_start_program(launcher_executable_file("Solvanter")));
        EXPECT_EQ(launcher_child_file("precious.txt").loadFileAsString(), "precious");
        EXPECT_EQ(leftovers(), "");
        for (auto planted : { "outside.txt", "newdir", "escaped.txt" })
            launcher_child_file(planted).deleteRecursively();
    }
}

// An archive's names and link targets go into the log escaped and bounded, whatever they hold: no
// line of their own, no escape sequence for the terminal, nothing that is not UTF-8, no 64 KB
// line. A plain name is logged as it always was. Through the worker, as a real update fails.
TEST_F(EngineTest, ArchiveNamesAreShownEscapedInTheLog)
{
    const juce::String forged = "12:00:00 [INFO]: Removed existing app";
    const auto longName = "x" + juce::String::repeatedString("y", 65000);
    const struct
    {
        const char* name;
        std::string archive;
        juce::StringArray lines;
    } rows[] = {
        { "LineBreakInAName", zip_of({ exe, version, { "x\n" + forged, "planted" } }),
          { "[ERROR]: Failed to unzip entry 2: \"x\\x0A" + forged + "\"",
            "[ERROR]: Entry x\\x0A" + forged + " is outside the target directory" } },
        { "LineBreaksInALinkTarget", zip_of({ exe, version, link_entry("Solvanter/l", "../\r\n" + forged.toStdString()) }),
          { "[ERROR]: Failed to unzip entry 2: \"Solvanter/l\"",
            "[ERROR]: Link \"Solvanter/l\" does not point inside the build's folder: \"../\\x0D\\x0A" + forged + "\"" } },
        { "EscapeSequenceInAName", zip_of({ exe, version, { juce::String::fromUTF8("x\x1B]0;owned\x07\x1B[2J\xC2\x9B" "31m"), "planted" } }),
          { "[ERROR]: Failed to unzip entry 2: \"x\\x1B]0;owned\\x07\\x1B[2J\\xC2\\x9B31m\"" } },
        { "OverlongFormInAName", with_overlong_forms({ exe, version, { "Solvanter/@@@@/escaped.txt", "escaped" } }),
          { "[ERROR]: Failed to unzip entry 2: \"Solvanter/\\xC0\\xAE\\xC0\\xAE/escaped.txt\"" } },
        { "LongName", zip_of({ exe, version, { longName, "planted" } }),
          { "[ERROR]: Failed to unzip entry 2: \"x" + juce::String::repeatedString("y", 4095) + " [60905 more bytes not logged]\"",
            "[ERROR]: Entry x" + juce::String::repeatedString("y", 4095)
                + " [60905 more bytes not logged] is outside the target directory" } },
        // Byte for byte as before, a backslash included.
        { "PlainNames", zip_of({ exe, version, { juce::String::fromUTF8("..\\n\xC3\xBCw-\xC3\xA9.txt"), "planted" } }),
          { juce::String::fromUTF8("[ERROR]: Failed to unzip entry 2: \"..\\n\xC3\xBCw-\xC3\xA9.txt\""),
            juce::String::fromUTF8("[ERROR]: Entry ../n\xC3\xBCw-\xC3\xA9.txt is outside the target directory") } },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        log.clear();
        install_standin("0.9.0");
        backend.script("/builds/app.zip", devbackend::Reply::file(row.archive));
        auto launcher = make_launcher();
        ASSERT_TRUE(run_to_end(*launcher));

        EXPECT_TRUE(log.logged(row.lines)) << log.lines().joinIntoString("\n").substring(0, 20000);
        EXPECT_TRUE(log.logged({ "[STATE]: Something went wrong with updating the app.*" }));
        for (const auto& entry : log.raw())
        {
            const auto* bytes = entry.toRawUTF8();
            const auto size = std::strlen(bytes);
            EXPECT_TRUE(is_utf8_text(bytes, size)) << shown_as_text(bytes, std::min(size, (size_t) 200));
            EXPECT_LT(size, 4096u + 200u) << entry.substring(0, 100);
            EXPECT_EQ(std::string(bytes).find_first_of("\x1B\x07\r"), std::string::npos) << entry.substring(0, 100);
            // A line break only inside the launcher's own texts, and none starts a line of a log entry's look.
            const auto lines = juce::StringArray::fromLines(entry);
            for (int i = 1; i < lines.size(); ++i)
                EXPECT_FALSE(lines[i].substring(0, 9).containsOnly("0123456789: ") && lines[i].length() > 9) << lines[i];
        }
        EXPECT_EQ(installed_version(), "0.9.0");
        EXPECT_EQ(leftovers(), "");
        clean_launcher_folder();
    }
}

// Links inside the build install as the OS reads them: a '~' names a folder of the build, and on
// Linux a backslash is part of a name, so "a\..\..\x" climbs nowhere. A file entry where a
// dangling link was replaces the link rather than write through it.
TEST_F(EngineTest, LinksInsideTheBuildInstallAsTheOsReadsThem)
{
    const auto archive = zip_of({ exe, version, { "Solvanter/~/file", "in the build" }, link_entry("Solvanter/home", "~/file"),
                                  link_entry("Solvanter/v", "a\\..\\..\\x"), link_entry("Solvanter/l", "missing"),
                                  { "Solvanter/l", "the file" } });
    const struct
    {
        const char* link;
        const char* target;
        const char* content;
    } rows[] = { { "home", "~/file", "in the build" }, { "v", "a\\..\\..\\x", "" }, { "l", "", "the file" } };

    auto launcher = make_launcher();
    const auto result = LauncherComponentProbe { *launcher }.install_app({ archive.data(), archive.size() });
    ASSERT_TRUE(result.wasOk()) << result.getErrorMessage();
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.link);
        const auto link = appFolder().getChildFile(row.link);
        EXPECT_EQ(link.getNativeLinkedTarget(), row.target);
        EXPECT_EQ(link.loadFileAsString(), row.content);
    }
    EXPECT_FALSE(appFolder().getChildFile("missing").exists());
}

// Sound archives of an unusual shape install: a ZIP64 end record with extensible data, which the
// framework passes over, and entries whose data lie in another order than their headers. Names
// that Windows reads as other names are names of their own on Linux, each written as itself.
TEST_F(EngineTest, SoundArchivesOfUnusualShapeInstall)
{
    const auto longest = name_of_path_length(PATH_MAX - 1);
    const struct
    {
        const char* name;
        std::string archive;
        juce::String written {}; // an entry that must be in place, holding "far"
        std::vector<const char*> present {}; // names in the build that must be there as themselves
    } rows[] = {
        { "Zip64EndRecordWithExtensibleData", with_zip64_trailer(zip_of({ exe, version }), 2, 8, 8) },
        { "DataInReverseOrder", with_directory_reversed(zip_of({ exe, { "Solvanter/a/", "" }, { "Solvanter/a/b", "b" }, version })) },
        // A path exactly as long as the OS takes, below the folder the install unzips into.
        { "PathAtTheLimit", zip_of({ exe, version, { longest, "far" } }), longest },
        { "NamesWindowsReadsOtherwise",
          zip_of({ exe, version, { "Solvanter/version.txt.", "dot" }, { "Solvanter/version.txt ", "blank" },
                   { "Solvanter/. ./. ./", "" }, { "Solvanter/a:b", "colon" }, { "Solvanter/nul.txt", "device" },
                   { "Solvanter/CON", "device" }, link_entry("Solvanter/l", "aux/x") }),
          {},
          { "version.txt.", "version.txt ", ". ./. .", "a:b", "nul.txt", "CON", "l" } },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        appFolder().deleteRecursively();
        auto launcher = make_launcher();
        const auto result = LauncherComponentProbe { *launcher }.install_app({ row.archive.data(), row.archive.size() });
        EXPECT_TRUE(result.wasOk()) << result.getErrorMessage();
        EXPECT_EQ(installed_version(), "2.0.0");
        EXPECT_TRUE(platform::can_start_program(launcher_executable_file("Solvanter")));
        if (row.written.isNotEmpty())
            EXPECT_EQ(launcher_child_file(row.written).loadFileAsString(), "far");
        for (const auto* name : row.present)
            EXPECT_TRUE(appFolder().getChildFile(name).exists() || appFolder().getChildFile(name).isSymbolicLink()) << name;
    }
}

// An archive opened as the install opens it: its directory read first, then the framework's, on
// the archive without its names.
struct OpenedArchive
{
    explicit OpenedArchive(const std::string& bytes)
        : data(bytes.data(), bytes.size()), directoryRead(directory.read(data).wasOk()), input(data, false),
          stream(directory.without_names(input)), zip(*stream)
    {
        matches = directoryRead && directory.matches(zip).wasOk();
    }

    juce::MemoryBlock data;
    ZipDirectory directory;
    bool directoryRead = false, matches = false;
    juce::MemoryInputStream input;
    std::unique_ptr<juce::InputStream> stream;
    juce::ZipFile zip;
};

// A stop asked for while the layout is checked, in either pass over the entries, ends the unzip
// before anything is written.
TEST(StagedBuild, StopDuringTheLayoutCheckWritesNothing)
{
    ScratchFolder scratch;
    OpenedArchive archive(zip_of({ exe, version, { "Solvanter/a/b", "b" }, link_entry("Solvanter/v", "a/b") }));
    ASSERT_TRUE(archive.matches);
    const StagedBuild build(scratch / "Solvanter");
    const auto staging = scratch / "Solvanter.installing";

    for (const int answered : { 0, 5 })
    {
        int asked = 0;
        bool writtenWhenStopped = true;
        const auto result = build.unzip(archive.zip, archive.directory, true, [&] {
            if (++asked <= answered)
                return false;
            writtenWhenStopped = staging.exists();
            return true;
        });
        EXPECT_EQ(result.getErrorMessage(), "Cancelled");
        EXPECT_FALSE(writtenWhenStopped) << answered;
        EXPECT_FALSE(staging.exists());
    }
}

// One link entry 32,760 names deep is judged, and refused, on a thread with a small stack (the
// Windows build's threads may have far less than Linux's 8 MB): nothing is built per name.
TEST(StagedBuild, DeepLinkEntryIsJudgedOnASmallStack)
{
    struct SmallStack : juce::Thread
    {
        explicit SmallStack(std::function<void()> work_) : juce::Thread("small stack", 512 * 1024), work(std::move(work_)) {}
        void run() override { work(); }
        std::function<void()> work;
    };
    ScratchFolder scratch;
    OpenedArchive archive(zip_of({ exe, version, link_entry(longest_name(), "a") }));
    ASSERT_TRUE(archive.matches);
    const StagedBuild build(scratch / "Solvanter");

    auto result = juce::Result::ok();
    SmallStack thread([&] { result = build.unzip(archive.zip, archive.directory, true, [] { return false; }); });
    ASSERT_TRUE(thread.startThread());
    ASSERT_TRUE(wait_until([&] { return ! thread.isThreadRunning(); }, 60000));
    EXPECT_TRUE(result.getErrorMessage().matchesWildcard("Entry \"Solvanter/a/a/*\" is too long a path for the OS", false));
    EXPECT_FALSE((scratch / "Solvanter.installing").exists());
}

// Whatever path the writer is handed, the last look before the OS lets no name through that
// climbs, names nothing, or that a decoder would read as another, in a path or a link's target:
// nothing is written at all.
TEST(EntryWriter, WritesNoPathThatClimbsOrIsReadOtherwise)
{
    ScratchFolder scratch;
    OpenedArchive archive(zip_of({ { "x", "data" }, link_entry("l", "\xC0\xAE\xC0\xAE/x") }));
    ASSERT_TRUE(archive.directoryRead);
    const auto root = scratch / "root";
    ASSERT_TRUE(root.createDirectory());

    const std::pair<int, std::string> rows[] { { 0, "../x" }, { 0, "a/../../x" }, { 0, "a//x" }, { 0, "./x" },
                                               { 0, "a/." }, { 0, "\xC0\xAE\xC0\xAE/x" }, { 1, "l" } };
    for (const auto& [index, relative] : rows)
    {
        SCOPED_TRACE(shown_as_text(relative.data(), relative.size()));
        const auto result = write_entry(archive.zip, index, archive.directory, root, relative);
        EXPECT_TRUE(result.getErrorMessage().matchesWildcard(index == 0 ? "Entry path cannot be written as it is: \"*"
                                                                         : "Link target cannot be written as it is: \"*",
                                                             false))
            << result.getErrorMessage();
        EXPECT_EQ(scratch.folder.findChildFiles(juce::File::findFilesAndDirectories, true).size(), 1);
    }
}
