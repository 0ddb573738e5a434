// The download and install steps, called directly against the dev backend and real archives.
#include "engine_test_support.h"

using devbackend::Reply;

namespace
{
const std::string archivePath = "/builds/app.zip";

struct Steps : public EngineTest
{
    void SetUp() override
    {
        EngineTest::SetUp();
        launcher = make_launcher();
    }
    void TearDown() override
    {
        launcher.reset();
        EngineTest::TearDown();
    }

    juce::Result download(juce::MemoryBlock& data)
    {
        return LauncherComponentProbe { *launcher }.download_build(data, "Solvanter", launcher->config.app_download_url());
    }

    std::unique_ptr<LauncherComponent> launcher;
};
} // namespace

TEST_F(Steps, DownloadFailuresNameTheirCause)
{
    juce::MemoryBlock data;
    EXPECT_EQ(download(data).getErrorMessage(), "Download failed with status code: 404");

    backend.script(archivePath, Reply().with_mode(Reply::Mode::drop_connection));
    const auto noAnswer = download(data).getErrorMessage();
    EXPECT_TRUE(noAnswer.startsWith("Download timed out after ") && noAnswer.endsWith(" seconds")) << noAnswer;

    const auto query = "/launcher/Windows/get_build_url/app/current/Solvanter";
    backend.script(query, Reply::json(R"({"link":"elsewhere"})"));
    EXPECT_EQ(download(data).getErrorMessage(), "Download url query failed");
    backend.script(query, Reply::json(R"({"url":"   "})"));
    EXPECT_EQ(download(data).getErrorMessage(), "No download url available");

    pump(50);
    EXPECT_FALSE(LauncherComponentProbe { *launcher }.bar().isVisible());
}

TEST_F(Steps, DownloadCutShortIsIncomplete)
{
    // Large enough that the cut comes after the stream has opened: a body cut short within the
    // first read already fails to open, with the server's status.
    backend.script(archivePath, Reply::file(std::string(10000000, 'z')).with_mode(Reply::Mode::truncated, 9700000));
    juce::MemoryBlock data;
    EXPECT_EQ(download(data).getErrorMessage(), "Download finished incomplete (0.97)");

    const auto lines = log->lines();
    const auto total = lines.indexOf("[INFO]: Total bytes: 10000000");
    ASSERT_GE(total, 0);
    EXPECT_EQ(lines[total + 1], "[INFO]: downloaded:  9700000");
    EXPECT_EQ(lines[total + 2], "[INFO]: Data size:   9700000");
}

TEST_F(Steps, DownloadWithoutContentLengthAssumesFiftyMillionBytes)
{
    const std::string body(60000, 'q');
    backend.script(archivePath, Reply::file(body).with_mode(Reply::Mode::no_content_length));
    juce::MemoryBlock data;
    ASSERT_TRUE(download(data).wasOk());

    EXPECT_EQ(data, juce::MemoryBlock(body.data(), body.size()));
    EXPECT_TRUE(log->has("[INFO]: Download size: 47.68 MB"));
    EXPECT_TRUE(log->has_starting("[INFO]: Download finished in "));
    EXPECT_EQ(launcher->progress, 1.0);

    LauncherComponentProbe probe { *launcher };
    pump(50);
    EXPECT_EQ(probe.label().getText(), "Downloading Solvanter:  0.1 / 47.7 MB");
    EXPECT_TRUE(probe.bar().isVisible());
}

TEST_F(Steps, ArchiveEntryOutsideTheFolderIsRefused)
{
    juce::ZipFile::Builder builder;
    builder.addEntry(new juce::MemoryInputStream("app", 3, true), 0, "Solvanter/Solvanter.exe", juce::Time::getCurrentTime());
    builder.addEntry(new juce::MemoryInputStream("evil", 4, true), 0, "../outside.txt", juce::Time::getCurrentTime());
    juce::MemoryOutputStream archive;
    ASSERT_TRUE(builder.writeToStream(archive, nullptr));

    const auto result = LauncherComponentProbe { *launcher }.install_app(archive.getMemoryBlock());

    EXPECT_EQ(result.getErrorMessage(), "Entry ../outside.txt is outside the target directory");
    EXPECT_TRUE(log->has("[ERROR]: Failed to unzip entry 1: \"../outside.txt\""));
    EXPECT_FALSE(launcher_directory().getSiblingFile("outside.txt").exists());
}

TEST_F(Steps, InstalledExecutableKeepsItsModeAndEmptyArchiveKeepsTheOldApp)
{
    install_standin("0.9.0");
    juce::MemoryBlock empty;
    EXPECT_EQ(LauncherComponentProbe { *launcher }.install_app(empty).getErrorMessage(), "Failed to unzip downloaded build");
    EXPECT_TRUE(log->has("[ERROR]: Invalid number of zip entries: 0"));
    EXPECT_TRUE(appFolder().getChildFile("version.txt").existsAsFile());

    const auto archive = pack_app("1.0.0");
    juce::MemoryBlock data;
    ASSERT_TRUE(archive.loadFileAsData(data));
    ASSERT_TRUE(LauncherComponentProbe { *launcher }.install_app(data).wasOk());
    EXPECT_TRUE(platform::can_start_program(launcher_executable_file("Solvanter")));
    EXPECT_EQ(launcher->progress, 2.0);
}
