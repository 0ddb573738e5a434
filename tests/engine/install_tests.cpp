// Installs that fail or are interrupted must leave the installed application whole.
#include "engine_test_support.h"

#include "engine/StagedBuild.h"

namespace
{
struct Entry
{
    juce::String name;
    std::string bytes;
    int compression = 0;
};

std::string zip_of(const std::vector<Entry>& entries)
{
    juce::ZipFile::Builder builder;
    for (const auto& e : entries)
        builder.addEntry(new juce::MemoryInputStream(e.bytes.data(), e.bytes.size(), true), e.compression, e.name,
                         juce::Time::getCurrentTime());
    juce::MemoryOutputStream out;
    builder.writeToStream(out, nullptr);
    return std::string((const char*) out.getData(), out.getDataSize());
}

// Each central directory entry claims the largest size a ZIP entry can have.
std::string claiming_huge_sizes(std::string zip)
{
    const std::string signature("PK\x01\x02", 4);
    for (auto at = zip.find(signature); at != std::string::npos; at = zip.find(signature, at + 4))
        zip.replace(at + 24, 4, std::string(4, '\xff'));
    return zip;
}

// The first entry's deflated data starts with an invalid block type.
std::string with_corrupt_first_entry(std::string zip, const juce::String& firstName)
{
    zip[30 + (size_t) firstName.getNumBytesAsUTF8()] = '\xff';
    return zip;
}

const std::string payload(100000, 'p');
const Entry exe { "Solvanter/Solvanter.exe", "#!/bin/sh\n" }, version { "Solvanter/version.txt", "2.0.0" };

// Enough entries of 4 GB each to exceed the free space of the launcher's folder.
std::vector<Entry> more_than_the_disk_holds()
{
    const auto free = launcher_directory().getBytesFreeOnVolume();
    std::vector<Entry> entries { exe, version };
    for (juce::int64 i = 0; i <= free / 0xffffffffLL; ++i)
        entries.push_back({ "Solvanter/data" + juce::String(i), "d" });
    return entries;
}

struct Failure
{
    const char* name;
    std::function<std::string()> archive;
    bool stopFirst;
    const char* message;
    juce::StringArray lines;
};

const Failure failures[] = {
    { "CorruptEntry",
      [] { return with_corrupt_first_entry(zip_of({ { exe.name, payload, 9 }, version }), exe.name); }, false,
      "Failed to write to target file: *Solvanter.exe", { "[ERROR]: Failed to unzip entry 0: \"Solvanter/Solvanter.exe\"" } },
    // Nothing is written before every entry has been looked at.
    { "EntryBesideTheAppFolder", [] { return zip_of({ exe, version, { "config.xml", "<planted/>" } }); }, false,
      "Entry config.xml is outside the target directory", { "[ERROR]: Failed to unzip entry 2: \"config.xml\"" } },
    { "NoAppFolder", [] { return zip_of({ { "Other/Other.exe", "x" } }); }, false,
      "Entry Other/Other.exe is outside the target directory", { "[ERROR]: Failed to unzip entry 0: \"Other/Other.exe\"" } },
    { "ExecutableIsAFolder", [] { return zip_of({ { "Solvanter/Solvanter.exe/", "" }, version }); }, false,
      "Could not find app build", { "[ERROR]: App build not found: *Solvanter.exe\"" } },
    { "MoreThanTheDiskHolds", [] { return claiming_huge_sizes(zip_of(more_than_the_disk_holds())); }, false,
      "Not enough free disk space to unzip downloaded build", { "[ERROR]: Free disk space: * MB, needed: * MB" } },
    { "StopRequested", [] { return zip_of({ exe, version }); }, true, "Cancelled", {} },
};

void PrintTo(const Failure& row, std::ostream* os) { *os << row.name; }
struct FailedInstall : EngineTest, ::testing::WithParamInterface<Failure> {};

juce::StringArray leftovers()
{
    juce::StringArray names;
    for (const auto& name : { "Solvanter.installing", "Solvanter.old", "config.xml", "Other" })
        if (launcher_child_file(name).exists())
            names.add(name);
    return names;
}
} // namespace

TEST_P(FailedInstall, KeepsTheInstalledApp)
{
    const auto& row = GetParam();
    install_standin("1.0.0");
    const auto archive = row.archive();
    ASSERT_FALSE(archive.empty());

    auto launcher = make_launcher();
    if (row.stopFirst)
        launcher->signalThreadShouldExit();
    const auto result = LauncherComponentProbe { *launcher }.install_app(juce::MemoryBlock(archive.data(), archive.size()));

    EXPECT_TRUE(result.getErrorMessage().matchesWildcard(row.message, false)) << result.getErrorMessage();
    EXPECT_TRUE(log.logged(row.lines)) << log.lines().joinIntoString("\n");
    EXPECT_FALSE(log.logged({ "*Removed existing app" }));
    EXPECT_EQ(installed_version(), "1.0.0");
    EXPECT_TRUE(platform::can_start_program(launcher_executable_file("Solvanter")));
    EXPECT_EQ(leftovers().joinIntoString(","), "");
}

INSTANTIATE_TEST_SUITE_P(Engine, FailedInstall, ::testing::ValuesIn(failures),
                         [](const ::testing::TestParamInfo<Failure>& row) { return std::string(row.param.name); });

// A launcher killed mid-install leaves its unzip folder, or the old application set aside.
TEST_F(EngineTest, NextStartCleansUpAnInterruptedInstall)
{
    install_standin("1.0.0", shortLivedApp);
    ASSERT_TRUE(appFolder().moveFileTo(launcher_child_file("Solvanter.old")));
    const auto staged = launcher_child_file("Solvanter.installing").getChildFile("Solvanter");
    ASSERT_TRUE(staged.createDirectory() && staged.getChildFile("version.txt").replaceWithText("2.0.0"));

    auto launcher = make_launcher();
    ASSERT_TRUE(run_to_end(*launcher));

    EXPECT_TRUE(log.logged({ "[INFO]: App is up to date", "[INFO]: App process found*" }));
    EXPECT_FALSE(requested("/launcher/Windows/get_build_url"));
    EXPECT_EQ(installed_version(), "1.0.0");
    EXPECT_EQ(leftovers().joinIntoString(","), "");
}

// Two launchers in one folder take turns: the second waits, touching nothing, until the first is done.
TEST_F(EngineTest, InstallWaitsForAnotherLauncherInTheSameFolder)
{
    pack_app("1.0.0", shortLivedApp);
    juce::ChildProcess other;
    ASSERT_TRUE(other.start({ juce::File::getSpecialLocation(juce::File::currentExecutableFile).getFullPathName(),
                              "--hold-lock", install_lock_name() }));
    char said[6] = {};
    ASSERT_EQ(other.readProcessOutput(said, 6), 6);
    ASSERT_EQ(std::string(said, 6), "locked");

    auto launcher = make_launcher();
    launcher->startThread();
    ASSERT_TRUE(pump_until([&] { return log.logged({ "[INFO]: Waiting for another launcher to finish installing" }); },
                           20000));
    EXPECT_FALSE(appFolder().exists());
    EXPECT_EQ(leftovers().joinIntoString(","), "");

    other.kill();
    ASSERT_TRUE(pump_until([&] { return ! launcher->isThreadRunning(); }, 30000));
    EXPECT_TRUE(log.logged({ "[INFO]: Unzipping 4 files finished in * seconds", "[INFO]: App process found*" }));
    EXPECT_EQ(installed_version(), "1.0.0");
}

// A folder where the executable belongs is no installed application: it is replaced, not launched.
TEST_F(EngineTest, ExecutableFolderCountsAsNotInstalled)
{
    ASSERT_TRUE(launcher_executable_file("Solvanter").createDirectory());
    ASSERT_TRUE(appFolder().getChildFile("version.txt").replaceWithText("1.0.0"));
    pack_app("1.0.0", shortLivedApp);

    auto launcher = make_launcher();
    ASSERT_TRUE(run_to_end(*launcher));

    EXPECT_TRUE(log.logged({ "[INFO]: App is not installed", "[INFO]: Removed existing app", "[INFO]: App process found*" }));
    EXPECT_TRUE(launcher_executable_file("Solvanter").existsAsFile());
}
