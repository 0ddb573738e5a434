// Starting the application, finding its window, and reading what is installed.
#include "engine_test_support.h"

namespace
{
struct Launch : public EngineTest
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

    LauncherComponentProbe probe() { return { *launcher }; }

    std::unique_ptr<LauncherComponent> launcher;
};
} // namespace

TEST_F(Launch, MissingExecutableStartsNothing)
{
    EXPECT_FALSE(probe().launch_app());
    EXPECT_TRUE(log->has("[ERROR]: App build not found: " + launcher_executable_file("Solvanter").getFullPathName().quoted()));
    EXPECT_TRUE(log->has("[ERROR]: Could not find app build"));
}

TEST_F(Launch, ExecutableThatCannotRunIsAFailedStart)
{
    install_standin("1.0.0");
    ASSERT_TRUE(launcher_executable_file("Solvanter").setExecutePermission(false));

    EXPECT_FALSE(probe().launch_app());
    const auto& config = launcher->config;
    const auto command = launcher_executable_file("Solvanter").getFullPathName() + " --api " + config.app_api
                         + " --sock " + config.app_websocket + " --web " + config.app_account_page;
    const auto lines = log->lines();
    const auto failed = lines.indexOf("[ERROR]: App launch command failed: " + command);
    ASSERT_GE(failed, 0);
    EXPECT_EQ(lines[failed + 1], "[ERROR]: Failed to launch app, exit code 0:");
}

TEST_F(Launch, AppThatExitsAtOnceReportsItsCodeAndOutput)
{
    install_standin("1.0.0", { "exit_code=2", "message=Licence server unreachable" });

    EXPECT_FALSE(probe().launch_app());
    const auto lines = log->lines();
    const auto failed = lines.indexOf("[ERROR]: Failed to launch app, exit code 2:");
    ASSERT_GE(failed, 0);
    EXPECT_EQ(lines[failed + 1], "[ERROR]: Licence server unreachable");
}

TEST_F(Launch, AppWithoutWindowIsGivenUpAfterTwentyChecks)
{
    install_standin("1.0.0", { "no_window=1", "lifetime_ms=12000" });

    EXPECT_FALSE(probe().launch_app());
    EXPECT_TRUE(log->has("[ERROR]: App process not found after 10 seconds"));
    EXPECT_FALSE(log->has_starting("[INFO]: App process found"));
}

TEST_F(Launch, WindowTitleFollowsTheAppTypeTable)
{
    auto window = open_app_window("Kindlow");
    EXPECT_TRUE(is_app_running("KindlowOrvanelTool"));
    EXPECT_FALSE(is_app_running("OrvanelTool"));
    EXPECT_FALSE(is_app_running("SolvanterBeta"));
    window->kill();

    EXPECT_FALSE(is_app_running("Paintbox"));
    EXPECT_TRUE(log->has("[ERROR]: Unsupported app type: \"Paintbox\""));
}

TEST_F(Launch, InstalledVersionIsTheTrimmedVersionFile)
{
    const auto versionFile = appFolder().getChildFile("version.txt");
    EXPECT_EQ(probe().read_installed_version(), "");
    EXPECT_TRUE(log->has("[ERROR]: App version file not found: " + versionFile.getFullPathName().quoted()));

    install_standin("  2.9.1\r\n");
    EXPECT_EQ(probe().read_installed_version(), "2.9.1");
    EXPECT_TRUE(log->has("[INFO]: Installed app version: \"2.9.1\""));

    versionFile.replaceWithText(" \n");
    EXPECT_EQ(probe().read_installed_version(), "");
    EXPECT_TRUE(log->has("[ERROR]: App version file is empty"));
}
