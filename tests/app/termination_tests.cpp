#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <thread>

#include "app_test_support.h"
#include "launcher_process.h"
#include "platform/platform.h"

namespace
{
bool wait_for(const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

int count_lines_containing(const juce::StringArray& lines, const juce::String& text)
{
    int count = 0;
    for (const auto& line : lines)
        if (line.contains(text))
            ++count;
    return count;
}
} // namespace

// The handler runs on a thread of its own, never in signal context, and the process survives.
TEST(TerminationRequest, SignalsReachTheHandlerUntilItIsCleared)
{
    std::atomic<int> calls { 0 };
    std::atomic<bool> onCallerThread { false };
    const auto testThread = std::this_thread::get_id();

    platform::on_termination_request([&] {
        onCallerThread = onCallerThread || std::this_thread::get_id() == testThread;
        ++calls;
    });

    ASSERT_EQ(raise(SIGTERM), 0);
    ASSERT_TRUE(wait_for([&] { return calls == 1; }, 5000));
    ASSERT_EQ(raise(SIGINT), 0);
    ASSERT_TRUE(wait_for([&] { return calls == 2; }, 5000));
    EXPECT_FALSE(onCallerThread);

    platform::on_termination_request({});
    ASSERT_EQ(raise(SIGTERM), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(calls, 2);

    // A request swallowed while nobody watched is not handed to the next handler.
    std::atomic<int> laterCalls { 0 };
    platform::on_termination_request([&] { ++laterCalls; });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(laterCalls, 0);
    ASSERT_EQ(raise(SIGTERM), 0);
    EXPECT_TRUE(wait_for([&] { return laterCalls == 1; }, 5000));
    platform::on_termination_request({});
    EXPECT_EQ(calls, 2);
}

// SIGTERM while the application archive is being fetched: the launcher quits as the close button
// would, cancels the request and stops the worker, and the log is complete.
TEST(TerminationRequest, SigtermDuringADownloadEndsTheLauncherCleanly)
{
    devbackend::DevBackend backend;
    ASSERT_TRUE(start_backend_for_launcher(backend));
    backend.script("/builds/app.zip", devbackend::Reply::file(std::string(1 << 20, 'z')).with_delay(60000));

    LauncherProcess launcher;
    launcher.write_config({ { "app_api", juce::String(backend.origin()) } });
    ASSERT_TRUE(launcher.start({ "--headless", "--skip-update" }));
    ASSERT_TRUE(backend.wait_for_request("/builds/app.zip", 20000)) << launcher.log_text();
    ASSERT_TRUE(launcher.wait_for_log("[STATE]: Downloading Solvanter", 5000));
    EXPECT_TRUE(launcher.running());

    launcher.send_signal(SIGTERM);
    // Far less than the backend's 60 s delay: the request in flight was cancelled.
    ASSERT_TRUE(launcher.wait_for_exit(20000));
    EXPECT_TRUE(launcher.exited_normally());
    EXPECT_EQ(launcher.exit_code(), 0);

    const auto text = launcher.log_text();
    EXPECT_TRUE(text.endsWith("\r\n"));
    const auto lines = launcher.log_lines();
    EXPECT_EQ(count_lines_containing(lines, "[INFO]: Quit launcher"), 1) << text;
    EXPECT_EQ(count_lines_containing(lines, "exit code"), 0);
    EXPECT_EQ(count_lines_containing(lines, "Something went wrong"), 0);
}

// SIGINT while the worker waits for the backend: the quit is logged, then the shutdown stops the
// worker while the log is still open.
TEST(TerminationRequest, SigintDuringTheBackendWaitStopsTheWorkerInOrder)
{
    devbackend::DevBackend closed;
    ASSERT_TRUE(closed.start());
    const auto closedOrigin = juce::String(closed.origin());
    closed.stop();

    LauncherProcess launcher;
    launcher.write_config({ { "app_api", closedOrigin } });
    ASSERT_TRUE(launcher.start({ "--headless", "--skip-update" }));
    ASSERT_TRUE(launcher.wait_for_log("waiting for network connection", 20000)) << launcher.log_text();

    launcher.send_signal(SIGINT);
    ASSERT_TRUE(launcher.wait_for_exit(20000));
    EXPECT_TRUE(launcher.exited_normally());
    EXPECT_EQ(launcher.exit_code(), 0);

    // A check already under way may still log its failure in between.
    const auto lines = launcher.log_lines();
    int quitLine = -1;
    for (int i = 0; i < lines.size(); ++i)
        if (without_time_stamp(lines[i]) == "[INFO]: Quit launcher")
            quitLine = i;
    ASSERT_GE(quitLine, 0) << launcher.log_text();
    EXPECT_EQ(count_lines_containing(lines, "[INFO]: Quit launcher"), 1);
    EXPECT_LT(quitLine, lines.size() - 1);
    EXPECT_EQ(without_time_stamp(lines[lines.size() - 1]), "[INFO]: Cancelled") << launcher.log_text();
}
