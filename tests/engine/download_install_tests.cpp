// The download and install steps, called directly against the dev backend and real archives.
#include "engine_test_support.h"

using devbackend::Reply;

TEST_F(EngineTest, DownloadNamesItsFailureOrFillsTheBlock)
{
    const std::string archive = "/builds/app.zip", query = "/launcher/Windows/get_build_url/app/current/Solvanter";
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
        const char* label;
        double progress;
        size_t size;
    } rows[] = {
        { "", {}, "Download failed with status code: 404", {}, "Downloading Solvanter", 0.0, 0 },
        { archive, Reply().with_mode(Reply::Mode::drop_connection), "Download timed out after *.? seconds", {},
          "Downloading Solvanter", 0.0, 0 },
        { query, Reply::json(R"({"link":"elsewhere"})"), "Download url query failed", {}, "Downloading Solvanter", 0.0,
          0 },
        { query, Reply::json(R"({"url":"   "})"), "No download url available", {}, "Downloading Solvanter", 0.0, 0 },
        { query, Reply::nested(100000), "Download url query failed",
          { "[ERROR]: API reply nested too deeply (more than 64 levels)" }, "Downloading Solvanter", 0.0, 0 },
        { archive, cutShort, "Download finished incomplete (0.97)",
          { "[INFO]: Total bytes: 10000000", "[INFO]: downloaded:  9700000", "[INFO]: Data size:   9700000" },
          "Downloading Solvanter:  9.3 / 9.5 MB", 0.97, 9700000 },
        // Without "Content-Length" 50,000,000 bytes are assumed and completeness is not checked.
        { archive, unsized, "",
          { "[INFO]: Download size: 47.68 MB", "[INFO]: Download finished in * seconds (* MB/s)" },
          "Downloading Solvanter:  0.1 / 47.7 MB", 1.0, 60000 },
        { archive, lengthFirst, "Download finished incomplete (0.50)",
          { "[INFO]: Download size: 9.54 MB", "[INFO]: Total bytes: 10000000", "[INFO]: downloaded:  5000000" },
          "Downloading Solvanter:  4.8 / 9.5 MB", 0.5, 5000000 },
    };

    auto launcher = make_launcher();
    LauncherComponentProbe probe { *launcher };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.message);
        if (! row.path.empty())
            backend.script(row.path, row.reply);
        juce::MemoryBlock data;
        const auto message = probe.download_app(data).getErrorMessage();
        EXPECT_TRUE(message.matchesWildcard(row.message, false)) << message;
        EXPECT_TRUE(log.logged(row.lines));
        EXPECT_NEAR(launcher->progress, row.progress, 0.005);
        EXPECT_EQ(data.getSize(), row.size);
        pump(50);
        EXPECT_EQ(probe.label().getText(), row.label);
        // Shown once the server has answered with the archive.
        EXPECT_EQ(probe.bar().isVisible(), row.size > 0);
    }
}

TEST_F(EngineTest, DownloadBeyondTheCeilingFails)
{
    const std::string archive = "/builds/app.zip";
    auto launcher = make_launcher();
    LauncherComponentProbe probe { *launcher };
    probe.archiveCeiling() = 1024 * 1024;

    // Announced too large: refused before a byte is read.
    backend.script(archive, Reply::file(std::string(1024 * 1024 + 1, 'a')));
    juce::MemoryBlock data;
    EXPECT_EQ(probe.download_app(data).getErrorMessage(), "Download too large (more than 1.0 MB)");
    EXPECT_EQ(data.getSize(), 0u);

    // An endless body without "Content-Length": ends at the ceiling.
    backend.script(archive, Reply::file("endless").with_mode(Reply::Mode::endless));
    EXPECT_EQ(probe.download_app(data).getErrorMessage(), "Download too large (more than 1.0 MB)");
    EXPECT_LE(data.getSize(), 1024u * 1024u + 8192u);
}

// A signed address covers its query byte for byte; a rebuilt query would not match the signature.
TEST_F(EngineTest, DownloadAddressIsRequestedAsGiven)
{
    const std::string target = "/builds/app.zip?download&token=a%2Bb&sig=a+b/c%2f";
    backend.script("/launcher/Windows/get_build_url/app/current/Solvanter",
                   Reply::json(R"({"url":")" + backend.origin() + target + R"("})"));
    backend.script("/builds/app.zip", Reply::file("zip"));
    auto launcher = make_launcher();
    juce::MemoryBlock data;
    EXPECT_TRUE(LauncherComponentProbe { *launcher }.download_app(data).wasOk());
    EXPECT_EQ(backend.requests().back(), target);
}

TEST_F(EngineTest, ArchiveEntryOutsideTheFolderIsRefused)
{
    juce::ZipFile::Builder builder;
    const auto now = juce::Time::getCurrentTime();
    builder.addEntry(new juce::MemoryInputStream("app", 3, true), 0, "Solvanter/Solvanter.exe", now);
    builder.addEntry(new juce::MemoryInputStream("evil", 4, true), 0, "../outside.txt", now);
    juce::MemoryOutputStream archive;
    ASSERT_TRUE(builder.writeToStream(archive, nullptr));

    auto launcher = make_launcher();
    const auto result = LauncherComponentProbe { *launcher }.install_app(archive.getMemoryBlock());

    EXPECT_EQ(result.getErrorMessage(), "Entry ../outside.txt is outside the target directory");
    EXPECT_TRUE(log.logged({ "[ERROR]: Failed to unzip entry 1: \"../outside.txt\"" }));
    EXPECT_FALSE(launcher_directory().getSiblingFile("outside.txt").exists());
}
