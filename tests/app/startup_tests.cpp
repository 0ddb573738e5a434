#include <gtest/gtest.h>

#include "app_test_support.h"
#include "launcher_process.h"
#include "x11_probe.h"

namespace
{
const juce::String appFailure = "[STATE]: Something went wrong with updating the app.";

int index_starting_with(const juce::StringArray& lines, const juce::String& prefix, int from = 0)
{
    for (int i = from; i < lines.size(); ++i)
        if (without_time_stamp(lines[i]).startsWith(prefix))
            return i;
    return -1;
}

// A log file of `size` bytes: lines of text, with line breaks only before `breaklessTail` bytes
// from its end.
juce::MemoryBlock old_log(size_t size, size_t breaklessTail = 0)
{
    juce::MemoryOutputStream out;
    for (int line = 0; out.getDataSize() < size; ++line)
        out << "old line " << line << " of the previous runs\n";
    auto block = out.getMemoryBlock();
    block.setSize(size);
    auto* bytes = static_cast<char*>(block.getData());
    for (size_t i = size - breaklessTail; i < size; ++i)
        bytes[i] = 'x';
    return block;
}
} // namespace

TEST(LauncherStartup, WriteConfigAndQuitWinsOverHeadlessAndNeedsNoDisplay)
{
    LauncherProcess launcher;
    ASSERT_TRUE(launcher.run({ "--headless", "--write-config-and-quit" }));
    EXPECT_TRUE(launcher.exited_normally());
    EXPECT_EQ(launcher.exit_code(), 0);
    EXPECT_TRUE(launcher.config_file().existsAsFile());

    const auto lines = launcher.log_lines();
    const auto writing = index_starting_with(lines, "[INFO]: Writing config file and quitting");
    ASSERT_GE(writing, 0) << launcher.log_text();
    EXPECT_EQ(index_starting_with(lines, "[INFO]: Running in headless mode"), -1);
    // The worker never started: it would have logged the working folder first.
    EXPECT_EQ(index_starting_with(lines, "[INFO]: Working dir: "), -1);
    ASSERT_EQ(lines.size(), writing + 3);
    EXPECT_EQ(without_time_stamp(lines[writing + 1]), "[INFO]: Config saved to file");
    EXPECT_EQ(without_time_stamp(lines[writing + 2]), "[INFO]: Quit launcher");

    // The same lines reached standard output.
    EXPECT_TRUE(launcher.std_out().contains("[INFO]: Writing config file and quitting\n"));
    EXPECT_EQ(launcher.std_err(), "");
}

TEST(LauncherStartup, ArgsLineCarriesTheCommandLineAsReceived)
{
    LauncherProcess launcher;
    ASSERT_TRUE(launcher.run({ "--write-config-and-quit", "two words", "--skip-update=1" }));
    const auto lines = launcher.log_lines();
    const auto args = index_starting_with(lines, "[INFO]: Args: ");
    ASSERT_GE(args, 0);
    EXPECT_EQ(without_time_stamp(lines[args]), "[INFO]: Args: --write-config-and-quit \"two words\" --skip-update=1");
}

TEST(LauncherStartup, LogIsCutToTheLineBreakInItsLast65536Bytes)
{
    struct Case
    {
        const char* what;
        size_t size;
        size_t breaklessTail;
        bool cut;
    };
    const Case cases[] = {
        { "200,000 bytes", 200000, 0, true },
        { "exactly 65,536 bytes", 65536, 0, false },
        { "65,537 bytes", 65537, 0, true },
        { "no line break in the last 65,536 bytes", 100000, 65536, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        LauncherProcess launcher;
        const auto old = old_log(c.size, c.breaklessTail);
        ASSERT_TRUE(launcher.log_file().getParentDirectory().createDirectory());
        ASSERT_TRUE(launcher.log_file().replaceWithData(old.getData(), old.getSize()));

        ASSERT_TRUE(launcher.run({ "--write-config-and-quit" }));

        juce::MemoryBlock after;
        ASSERT_TRUE(launcher.log_file().loadFileAsData(after));
        const auto* oldBytes = static_cast<const char*>(old.getData());

        size_t keptFrom = 0;
        if (c.cut)
        {
            keptFrom = c.size - 65536;
            while (oldBytes[keptFrom] != '\n')
                ++keptFrom;
        }
        const auto kept = c.size - keptFrom;

        ASSERT_GT(after.getSize(), kept);
        EXPECT_EQ(memcmp(after.getData(), oldBytes + keptFrom, kept), 0);

        // The opening block follows what was kept, then this run's lines.
        const auto rest = juce::String::fromUTF8(static_cast<const char*>(after.getData()) + kept,
                                                 (int) (after.getSize() - kept));
        EXPECT_TRUE(rest.startsWith("\r\n**********************************************************\r\n"
                                    "Solvanter Launcher\r\nLog started: "))
            << rest.substring(0, 120);
        EXPECT_TRUE(rest.contains("[INFO]: Quit launcher"));
    }
}

TEST(LauncherStartup, LinesOfAShownRunInOrder)
{
    const auto display = x11_probe::display_name();
    ASSERT_FALSE(display.isEmpty()) << "needs an X display: run under xvfb-run";
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));

    LauncherProcess launcher;
    launcher.write_config({ { "app_api", juce::String(backend.origin()) } });
    ASSERT_TRUE(launcher.start({}, display));
    ASSERT_TRUE(launcher.wait_for_log(appFailure, 20000)) << launcher.log_text();
    // A shown window keeps its error text: the launcher is still running.
    EXPECT_TRUE(launcher.running());
    launcher.send_signal(SIGTERM);
    ASSERT_TRUE(launcher.wait_for_exit(20000));
    EXPECT_EQ(launcher.exit_code(), 0);

    const auto lines = launcher.log_lines();
    ASSERT_GE(lines.size(), 20);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "**********************************************************");
    EXPECT_EQ(lines[2], "Solvanter Launcher");
    EXPECT_TRUE(lines[3].startsWith("Log started: "));
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(without_time_stamp(lines[5]), "[INFO]: System info");

    const char* labels[] = { "Launcher:     ", "Version:      ", "Build name:   ", "Compile date: ",
                             "OS:           ", "Device:       ", "Manufacturer: ", "CPU model:    ",
                             "CPU cores:    ", "Memory size:  ", "User region:  ", "User lang:    ",
                             "Display lang: " };
    for (int i = 0; i < 13; ++i)
        EXPECT_TRUE(lines[6 + i].startsWith("    " + juce::String(labels[i]))) << lines[6 + i];

    // No arguments, so no "Args: " line: the configuration comes next, then the worker.
    EXPECT_EQ(without_time_stamp(lines[19]), "[INFO]: Loaded config:");
    EXPECT_EQ(index_starting_with(lines, "[INFO]: Args: "), -1);
    EXPECT_EQ(index_starting_with(lines, "[INFO]: Running in headless mode"), -1);

    const auto workingDir = index_starting_with(lines, "[INFO]: Working dir: ");
    const auto failure = index_starting_with(lines, appFailure);
    const auto quit = index_starting_with(lines, "[INFO]: Quit launcher");
    EXPECT_GT(workingDir, 19);
    EXPECT_GT(failure, workingDir);
    EXPECT_GT(quit, failure);
    EXPECT_EQ(quit, lines.size() - 1);
    EXPECT_EQ(without_time_stamp(lines[quit]), "[INFO]: Quit launcher");
}

// Nobody can close a headless run after a failure, so it ends by itself with exit code 1.
TEST(LauncherStartup, HeadlessFailureEndsWithExitCodeOneWithoutADisplay)
{
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));

    LauncherProcess launcher;
    launcher.write_config({ { "app_api", juce::String(backend.origin()) } });
    ASSERT_TRUE(launcher.run({ "--headless=1", "--skip-update" }, 30000)) << launcher.log_text();
    EXPECT_TRUE(launcher.exited_normally());
    EXPECT_EQ(launcher.exit_code(), 1);

    const auto lines = launcher.log_lines();
    const auto headless = index_starting_with(lines, "[INFO]: Running in headless mode");
    const auto failure = index_starting_with(lines, appFailure);
    ASSERT_GE(headless, 0);
    ASSERT_GT(failure, headless);
    EXPECT_EQ(without_time_stamp(lines[lines.size() - 1]), "[INFO]: Quit launcher with exit code 1");
    EXPECT_EQ(index_starting_with(lines, "[INFO]: Quit launcher", failure), lines.size() - 1);
    EXPECT_TRUE(launcher.std_out().contains("[INFO]: Quit launcher with exit code 1\n"));
}
