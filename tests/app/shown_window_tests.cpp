#include <gtest/gtest.h>

#include <signal.h>

#include <X11/keysym.h>

#include "app_test_support.h"
#include "launcher_process.h"
#include "x11_probe.h"

// The built launcher with its window on the test's X display, driven by key presses and clicks.
namespace
{
class ShownLauncherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        display = x11_probe::display_name();
        ASSERT_FALSE(display.isEmpty()) << "needs an X display: run under xvfb-run";
        ASSERT_TRUE(start_backend_for_launcher(backend));
        launcher.write_config({ { "app_api", juce::String(backend.origin()) } });
    }

    // The launcher's own top-level window, once it is on the screen.
    unsigned long wait_for_window(bool viewable)
    {
        const auto end = juce::Time::getMillisecondCounter() + 10000;
        while (juce::Time::getMillisecondCounter() < end)
        {
            for (const auto& window : x11_probe::windows_titled("Solvanter Launcher"))
                if (window.viewable == viewable)
                    return window.id;
            juce::Thread::sleep(20);
        }
        return 0;
    }

    void expect_quit_with_code_zero()
    {
        ASSERT_TRUE(launcher.wait_for_exit(20000)) << launcher.log_text();
        EXPECT_TRUE(launcher.exited_normally());
        EXPECT_EQ(launcher.exit_code(), 0);
        int quits = 0;
        for (const auto& line : launcher.log_lines())
            quits += without_time_stamp(line) == "[INFO]: Quit launcher" ? 1 : 0;
        EXPECT_EQ(quits, 1) << launcher.log_text();
    }

    juce::String display;
    devbackend::DevBackend backend;
    LauncherProcess launcher;
};
} // namespace

TEST_F(ShownLauncherTest, EscapeQuitsWhileADownloadRuns)
{
    backend.script("/builds/app.zip", devbackend::Reply::file("zip").with_delay(60000));
    ASSERT_TRUE(launcher.start({ "--skip-update" }, display));
    ASSERT_TRUE(backend.wait_for_request("/builds/app.zip", 20000)) << launcher.log_text();

    const auto window = wait_for_window(true);
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(x11_probe::send_key(window, XK_Escape));
    expect_quit_with_code_zero();
}

TEST_F(ShownLauncherTest, CloseButtonQuitsAfterAFailure)
{
    ASSERT_TRUE(launcher.start({ "--skip-update" }, display));
    ASSERT_TRUE(launcher.wait_for_log("[STATE]: Something went wrong", 20000)) << launcher.log_text();
    const auto window = wait_for_window(true);
    ASSERT_NE(window, 0u);

    // The window stays with its error text; a click on the title bar elsewhere does nothing.
    ASSERT_TRUE(x11_probe::send_click(window, 200, 15));
    EXPECT_FALSE(launcher.wait_for_exit(500));

    // The close button: 36 x 30 at the right end of the title bar.
    ASSERT_TRUE(x11_probe::send_click(window, 477 + 18, 1 + 15));
    expect_quit_with_code_zero();
}

TEST_F(ShownLauncherTest, HeadlessWindowIsNeverMapped)
{
    backend.script("/builds/app.zip", devbackend::Reply::file("zip").with_delay(60000));
    ASSERT_TRUE(launcher.start({ "--headless", "--skip-update" }, display));
    ASSERT_TRUE(backend.wait_for_request("/builds/app.zip", 20000)) << launcher.log_text();

    // The window exists on the display, unmapped, all the way into the download.
    EXPECT_NE(wait_for_window(false), 0u);
    for (const auto& window : x11_probe::windows_titled("Solvanter Launcher"))
        EXPECT_FALSE(window.viewable);

    launcher.send_signal(SIGTERM);
    expect_quit_with_code_zero();
}
