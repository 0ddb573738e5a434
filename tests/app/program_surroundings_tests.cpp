#include "support/launcher_process.h"
#include "support/log_lines.h"

// The built launcher in its surroundings: its log file, the environment, its folder's names, the
// limits of the OS.
namespace
{
// Runs a bash script with the scratch folder and the built launcher as $1 and $2, and `more` after
// them; its exit code.
int run_script(const ScratchFolder& scratch, const juce::String& script, const juce::StringArray& more = {})
{
    juce::ChildProcess shell;
    juce::StringArray command { "/bin/bash", "-c", script, "script", scratch.folder.getFullPathName(),
                                build_file("bin/solvanter-launcher").getFullPathName() };
    command.addArray(more);
    if (! shell.start(command))
        return -1;
    shell.readAllProcessOutput();  // until its output closes
    return shell.waitForProcessToFinish(120000) ? (int) shell.getExitCode() : -1;
}

// The first bytes of a file, however large it is.
std::string head_of(const juce::File& file, size_t size)
{
    juce::FileInputStream in(file);
    juce::MemoryBlock head;
    in.readIntoMemoryBlock(head, (ssize_t) size);
    return std::string(static_cast<const char*>(head.getData()), head.getSize());
}

const juce::String runIn = R"(env -u DISPLAY -u XDG_CONFIG_HOME HOME="$1/home" )";
} // namespace

// The log cut takes whatever bytes the log holds: NUL bytes before the first line break of its last
// 65,536 bytes (what a power loss leaves) and a sparse file of 5 GB are cut like any other.
TEST(LauncherProgram, TheLogCutTakesWhateverBytesTheLogHolds)
{
    juce::MemoryOutputStream lines;
    for (int line = 0; lines.getDataSize() < 481000; ++line)
        lines << "old line " << line << " of earlier runs\n";
    const std::string text(static_cast<const char*>(lines.getData()), lines.getDataSize());
    auto withNuls = text;
    withNuls.replace(withNuls.size() - 65536 - 100, 1000, 1000, '\0');

    const struct
    {
        const char* name;
        std::string tail;      // the bytes at the log's end
        juce::int64 hole;      // a hole before them
    } rows[] = {
        { "NUL bytes", withNuls, 0 },
        { "a sparse log of 5 GB", text.substr(0, 2000), 5LL << 30 },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        LauncherProcess launcher;
        const auto log = launcher.log_file();
        ASSERT_TRUE(write_file(log, {}));
        {
            juce::FileOutputStream out(log);
            ASSERT_TRUE(out.setPosition(row.hole) && out.write(row.tail.data(), row.tail.size()));
        }
        const auto size = row.hole + (juce::int64) row.tail.size();
        ASSERT_EQ(log.getSize(), size);

        ASSERT_TRUE(launcher.run({ "--write-config-and-quit" }));
        const auto window = row.tail.substr(row.tail.size() - juce::jmin<size_t>(65536, row.tail.size()));
        const auto kept = window.substr(window.find('\n'));
        EXPECT_LT(log.getSize(), 70000);
        EXPECT_TRUE(head_of(log, kept.size() + (size_t) openingBlock.length()) == kept + openingBlock.toStdString());
    }
}

// A full disk: the cut cannot write its copy whole, so the log stays byte for byte as it was and
// the run goes on to its end. A file-size limit below the log is a full disk too: a write past it
// fails (the copy's, the copy's flush, every append) instead of ending the launcher (SIGXFSZ, 153).
TEST(LauncherProgram, AFullDiskKeepsTheLogWhole)
{
    juce::MemoryOutputStream lines;
    for (int line = 0; lines.getDataSize() < 200000; ++line)
        lines << "old line " << line << " of earlier runs\n";
    const std::string manyLines(static_cast<const char*>(lines.getData()), 200000);
    // Its cut keeps the last 5,000 bytes: a copy small enough to wait in the stream's buffer.
    const auto longFirstLine = std::string(65000, 'x') + manyLines.substr(manyLines.size() - 5000);

    const struct
    {
        const char* name;
        const std::string& old;
        const char* run;  // starts the launcher, in the scratch folder, with the log's folder in $f
        bool slack;       // the disk may still take a line or two in the log's last block
    } rows[] = {
        { "a file-size limit below the copy", manyLines, R"(cp old.log "$f/launcher.log" && ulimit -f 32 && )", false },
        { "a file-size limit below the copy's flush", longFirstLine, R"(cp old.log "$f/launcher.log" && ulimit -f 4 && )", false },
        // The log's folder becomes a small tmpfs, filled up, in a mount namespace of the run's own.
        // Last: it is skipped where it cannot run.
        { "a full tmpfs", manyLines,
          R"(unshare -m bash -c 'mount -t tmpfs -o size=256k tmpfs "$0" || exit 77
                cp old.log "$0/launcher.log" && { cat /dev/zero > "$0/filler"; true; } 2> /dev/null
                "$@"; status=$?; cp "$0/launcher.log" after.log; exit $status' "$f" )", true },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        ScratchFolder scratch;
        ASSERT_TRUE(write_file(scratch / "old.log", row.old));
        const auto status = run_script(scratch, R"(f="$1/home/.config/Solvanter"; mkdir -p "$f"; cd "$1" && )"
                                                    + juce::String(row.run) + runIn
                                                    + R"("$2" --write-config-and-quit > /dev/null 2>&1)");
        if (status == 77)
            GTEST_SKIP() << "mounting a tmpfs in a mount namespace (unshare -m) needs root";
        EXPECT_EQ(status, 0);
        const auto after = (scratch / "after.log").exists() ? scratch / "after.log" : scratch / "home/.config/Solvanter/launcher.log";
        const auto kept = row.slack ? head_of(after, row.old.size()) : file_bytes(after);
        EXPECT_TRUE(kept == row.old) << after.getFileName() << ": " << after.getSize() << " bytes";
    }
}

// Under a file-size limit below the log and below a file of the build it installs, the worker's
// writes fail as on a full disk: the unzip fails its step, and the headless run ends as after any
// failure, with 1, its log as it was.
TEST(LauncherProgram, AFileSizeLimitFailsTheInstallNotTheLauncher)
{
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));
    backend.script("/builds/app.zip", devbackend::Reply::file(zip_of({ { "Solvanter/Solvanter.exe", "#!/bin/sh\n", 0100755 },
                                                                        { "Solvanter/data.bin", std::string(200000, 'd') },
                                                                        { "Solvanter/version.txt", "1.0.0" } })));
    ScratchFolder scratch;
    juce::MemoryOutputStream lines;
    for (int line = 0; lines.getDataSize() < 200000; ++line)
        lines << "old line " << line << " of earlier runs\n";
    const std::string old(static_cast<const char*>(lines.getData()), lines.getDataSize());
    const auto log = scratch / "home/.config/Solvanter/launcher.log";
    ASSERT_TRUE(write_file(log, old));
    ASSERT_TRUE((scratch / "l").createDirectory()
                && copy_executable(build_file("bin/solvanter-launcher"), scratch / "l/solvanter-launcher"));
    ASSERT_TRUE((scratch / "l/config.xml").replaceWithText("<PROPERTIES><VALUE name=\"app_api\" val=\"" + juce::String(backend.origin())
                                                           + "\"/></PROPERTIES>"));

    // Only the launcher runs under the limit: its output goes through a pipe to a file.
    const auto status = run_script(scratch, R"(cd "$1/l" && (ulimit -f 48 && exec )" + runIn
                                                + R"(./solvanter-launcher --headless --skip-update) 2>&1 | cat > "$1/output.txt"
                                                     exit ${PIPESTATUS[0]})");
    EXPECT_EQ(status, 1);
    const auto output = (scratch / "output.txt").loadFileAsString();
    EXPECT_TRUE(output.contains("[ERROR]: Failed to unzip entry 1: \"Solvanter/data.bin\"")) << output;
    EXPECT_TRUE(output.trimEnd().endsWith("[INFO]: Quit launcher with exit code 1")) << output;
    EXPECT_TRUE(file_bytes(log) == old) << log.getSize() << " bytes";
    EXPECT_FALSE((scratch / "l/Solvanter").exists());
    EXPECT_FALSE((scratch / "l/Solvanter.installing").exists());
}

// Launchers started together append every line of theirs, each whole, whether they make the log's
// folder at once, find it made, or find a log over 65,536 bytes that each would cut.
TEST(LauncherProgram, LaunchersStartedTogetherLoseNoLogLine)
{
    ScratchFolder scratch;
    const auto log = scratch / "home/.config/Solvanter/launcher.log";
    const auto stamped = [&] {
        const auto lines = juce::StringArray::fromLines(log.loadFileAsString());
        return std::count_if(lines.begin(), lines.end(), [](const juce::String& l) { return l.matchesWildcard("??:??:?? *", false); });
    };
    ASSERT_EQ(run_script(scratch, "cd \"$1\" && " + runIn + R"("$2" --write-config-and-quit > /dev/null)"), 0);
    const auto one = stamped();
    ASSERT_GT(one, 5);

    juce::MemoryOutputStream old;
    for (int line = 0; old.getDataSize() < 200000; ++line)
        old << "old line " << line << " of earlier runs\n";
    for (const juce::String earlier : { "no folder", "a folder", "a log of 200,000 bytes" })
    {
        SCOPED_TRACE(earlier);
        ASSERT_TRUE((scratch / "home").deleteRecursively());
        if (earlier != "no folder")
            ASSERT_TRUE(write_file(log, earlier == "a folder" ? "" : old.toString().toStdString()));
        ASSERT_EQ(run_script(scratch, R"(cd "$1" && for i in 1 2 3 4 5 6 7 8; do )" + runIn
                                          + R"("$2" --write-config-and-quit > /dev/null & done; wait)"),
                  0);
        EXPECT_EQ(stamped(), 8 * one);
        const auto all = juce::StringArray::fromLines(log.loadFileAsString());
        for (const auto* line : { "Log started: ", "System info", "Writing config file and quitting", "Quit launcher" })
            EXPECT_EQ(std::count_if(all.begin(), all.end(), [&](const juce::String& l) { return l.contains(line); }), 8) << line;
    }
}

// A folder name that is not UTF-8 text (an overlong NUL) is refused before any path is made of it.
TEST(LauncherProgram, APathThatIsNotTextIsRefused)
{
    ScratchFolder scratch;
    const auto status = run_script(scratch, R"(
        folder="$1/bad"$'\xc0\x80'"name"; mkdir "$folder" && cp "$2" "$folder/solvanter-launcher" && cd "$folder" &&
        )" + runIn + R"(./solvanter-launcher --write-config-and-quit > "$1/stdout.txt" 2> "$1/stderr.txt")");
    EXPECT_EQ(status, 1);
    const auto error = "[ERROR]: Cannot run from a path that is not UTF-8 text: " + scratch.folder.getFullPathName()
                       + "/bad\\xC0\\x80name/solvanter-launcher (move the launcher to a folder whose name is text)";
    EXPECT_TRUE((scratch / "stderr.txt").loadFileAsString().contains(error)) << (scratch / "stderr.txt").loadFileAsString();
    EXPECT_TRUE((scratch / "home/.config/Solvanter/launcher.log").loadFileAsString().contains(error));
    EXPECT_EQ((scratch / "stdout.txt").loadFileAsString().fromLastOccurrenceOf("[INFO]: ", false, false).trimEnd(),
              "Quit launcher with exit code 1");
}

// The environment texts the framework makes paths of (HOME for the log's folder and every "~",
// XDG_DATA_HOME and JUCE_FONT_PATH for the font scan) are judged as the own path is: one that is
// not UTF-8 text ends the start with exit 1 and one line on standard error, before the framework
// reads it, and no launcher.log is written anywhere.
TEST(LauncherProgram, AnEnvironmentThatIsNotTextIsRefused)
{
    const struct
    {
        const char* variable;
        const char* bytes;  // as printf writes them
        const char* shown;
    } rows[] = {
        { "HOME", "\\xc0\\x80", "\\xC0\\x80" },
        { "HOME", "\\x80", "\\x80" },
        { "HOME", "\\xe0\\x80\\x80", "\\xE0\\x80\\x80" },
        { "HOME", "jos\\xe9", "jos\\xE9" },  // Latin-1
        { "XDG_DATA_HOME", "\\xc0\\x80", "\\xC0\\x80" },
        { "JUCE_FONT_PATH", "\\x80", "\\x80" },
    };
    // Long enough behind the bytes that an overrun of the framework's strings shows.
    const juce::String tail = juce::String::repeatedString("n", 100);
    for (const auto& row : rows)
    {
        SCOPED_TRACE(juce::String(row.variable) + " " + row.shown);
        ScratchFolder scratch;
        const auto status = run_script(scratch, R"(
            value="$1/run/h$(printf "$4")$5"; mkdir -p "$1/run/home" && cd "$1/run" &&
            env -u DISPLAY -u XDG_CONFIG_HOME HOME="$1/run/home" "$3=$value" "$2" --write-config-and-quit \
                > "$1/stdout.txt" 2> "$1/stderr.txt"
            status=$?; find "$1/run" -name launcher.log > "$1/logs.txt"; exit $status)",
                                       { row.variable, row.bytes, tail });
        EXPECT_EQ(status, 1);
        const auto error = "[ERROR]: Cannot run with an environment variable that is not UTF-8 text: " + juce::String(row.variable)
                           + "=" + scratch.folder.getFullPathName() + "/run/h" + row.shown + tail
                           + " (no launcher.log is written; set it to a path that is text)\n";
        const auto err = (scratch / "stderr.txt").loadFileAsString();
        EXPECT_TRUE(err.length() == error.length() + 9 && err.endsWith(error)) << err;
        EXPECT_EQ((scratch / "stdout.txt").getSize(), 0);
        EXPECT_EQ((scratch / "logs.txt").loadFileAsString(), "");
    }
}

namespace
{
// What a folder holds, each path below it on a line of its own and sorted, with every byte that
// is not ASCII written as cat -v writes it. The scratch folder takes the listing.
juce::String listing_of(const ScratchFolder& scratch, const juce::File& folder)
{
    run_script(scratch, R"(cd "$3" && find . -mindepth 1 | LC_ALL=C sort | cat -v > "$1/listing.txt")",
               { folder.getFullPathName() });
    return (scratch / "listing.txt").loadFileAsString();
}
} // namespace

// Names that are not text in the launcher's folder, made by something else: in a set-aside folder
// (also in a subfolder's name), which the start-up clean-up removes with all it can of what it
// holds, and beside the launcher, which is not the launcher's to remove. Never a crash: the run
// goes on to its usual end (the backend offers no build to install).
TEST(LauncherProgram, NamesThatAreNotTextInItsFolderAreCleanedUp)
{
    const struct
    {
        bool held;  // a file in the set-aside folder cannot be removed
        const char* setAsideAfter;
    } rows[] = {
        { false, "" },
        // Last: it is skipped where it cannot run.
        { true, "./Solvanter.old.3\n./Solvanter.old.3/hM-@M-^@\n" },
    };
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));
    const juce::String tail = juce::String::repeatedString("n", 100);
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.held ? "a file held" : "all removable");
        LauncherProcess launcher;
        launcher.use_backend(backend);
        ScratchFolder scratch;
        const auto made = run_script(scratch, R"(
            cd "$3" && mkdir -p Solvanter "Solvanter.old.3/s"$'\x80'"$4" && echo 1 > "Solvanter.old.3/s"$'\x80'"$4/f" &&
            echo 2 > "Solvanter.old.3/b"$'\xc0\x80'"$4" && echo 3 > "x"$'\xe0\x80\x80'"$4" && echo 4 > Solvanter.old.3/ok &&
            if [ "$5" = 1 ]; then echo 5 > Solvanter.old.3/h$'\xc0\x80' && chattr +i Solvanter.old.3/h$'\xc0\x80' 2> /dev/null || exit 77; fi)",
                                     { launcher.folder().getFullPathName(), tail, row.held ? "1" : "0" });
        if (made == 77)
            GTEST_SKIP() << "the immutable attribute needs root and a file system that keeps it";
        ASSERT_EQ(made, 0);

        const auto ended = launcher.start({ "--headless", "--skip-update" }) && launcher.wait_for_exit();
        if (row.held)
            run_script(scratch, R"(chattr -i "$3/Solvanter.old.3/h"$'\xc0\x80')", { launcher.folder().getFullPathName() });
        ASSERT_TRUE(ended);
        EXPECT_EQ(launcher.exit_code, 1) << launcher.std_err().substring(0, 2000);

        const auto listing = juce::StringArray::fromLines(listing_of(scratch, launcher.folder()));
        juce::String setAside;
        for (const auto& line : listing)
            setAside << (line.startsWith("./Solvanter.old") ? line + "\n" : juce::String());
        EXPECT_EQ(setAside, row.setAsideAfter);
        EXPECT_TRUE(listing.contains("./xM-`M-^@M-^@" + tail)) << listing.joinIntoString("\n");
        EXPECT_TRUE(listing.contains("./Solvanter"));
        EXPECT_EQ(count_of(launcher.log_lines(), "[INFO]: Could not remove what earlier installs left, tried again at the next start: \""
                                                     + launcher.folder().getFullPathName() + "/Solvanter.old.3\""),
                  row.held ? 1 : 0);
    }
}
