#include <gtest/gtest.h>

#include "services/build_info.h"
#include "services/config.h"
#include "services_test_support.h"

namespace
{
const juce::StringArray defaultDescription {
    "  App: Solvanter",
    "  Build: current",
    "  API: " + build_info::api_origin(),
    "  Websocket: " + build_info::websocket_address(),
    "  Account page: " + build_info::account_page_address(),
};

juce::String described(const juce::StringArray& lines)
{
    return lines.joinIntoString("\n");
}
} // namespace

TEST(ConfigLoad, WithoutConfigFileTheDefaultsStay)
{
    ConfigFileGuard guard;
    CapturingLogger logger;
    Config config;

    EXPECT_EQ(logger.untimed(), juce::StringArray("[INFO]: Using default config"));
    EXPECT_FALSE(config.load_config());

    EXPECT_EQ(config.config_file, ConfigFileGuard::file());
    EXPECT_EQ(config.launcher_api.toString(false), build_info::api_origin() + "/launcher/Windows");
    EXPECT_EQ(config.describe_config(), described(defaultDescription));
    EXPECT_EQ(config.app_arguments(),
              string_array({ "--api", build_info::api_origin(), "--sock", build_info::websocket_address(),
                             "--web", build_info::account_page_address() }));
}

TEST(ConfigLoad, ValuesAreMatchedWithoutRegardToCaseButTakenExactly)
{
    ConfigFileGuard guard;
    guard.write_values({ { "launcher_build", "LATEST" },
                         { "app_build", "Latest" },
                         { "app_api", "https://api.example.test" },
                         { "app_websocket", "wss://ws.example.test" },
                         { "app_account_page", "https://account.example.test" },
                         { "app_version", "7.1.0" } });
    CapturingLogger logger;
    Config config;

    EXPECT_EQ(config.launcher_build, BuildType::latest);
    EXPECT_EQ(config.app_build, BuildType::latest);
    EXPECT_EQ(config.app_api, "https://api.example.test");
    EXPECT_EQ(config.app_websocket, "wss://ws.example.test");
    EXPECT_EQ(config.app_account_page, "https://account.example.test");
    EXPECT_EQ(config.app_version, "7.1.0");
    // The launcher API base is fixed: moving app_api does not move it.
    EXPECT_EQ(config.launcher_api.toString(false), build_info::api_origin() + "/launcher/Windows");
    EXPECT_EQ(config.app_arguments(),
              string_array({ "--api", "https://api.example.test", "--sock", "wss://ws.example.test", "--web",
                             "https://account.example.test" }));

    EXPECT_EQ(logger.untimed(),
              juce::StringArray("[INFO]: Loaded config:\n"
                                + described({ "  App: Solvanter", "  Build: latest", "  API: https://api.example.test",
                                              "  Websocket: wss://ws.example.test",
                                              "  Account page: https://account.example.test" })));
}

TEST(ConfigLoad, InvalidUnknownEmptyAndIgnoredEntriesLeaveTheDefaults)
{
    ConfigFileGuard guard;
    guard.write_values({ { "launcher_build", " latest" },
                         { "app_build", "3.0.1" },
                         { "app_version", "3.0.0" },
                         { "App_Api", "https://wrong-case.example.test" },
                         { "app_websocket", "" },
                         { "app_account_page", "" },
                         { "app_branch", "OtherBranch" },
                         { "app_executable", "Other" } });
    CapturingLogger logger;
    Config config;

    // A leading blank makes the launcher build invalid; it falls back to current.
    EXPECT_EQ(config.launcher_build, BuildType::current);
    // Any other app_build text pins the version held by app_version.
    EXPECT_EQ(config.app_build, BuildType::version);
    EXPECT_EQ(config.app_version, "3.0.0");
    EXPECT_EQ(config.app_build_type_name(), "version");
    EXPECT_EQ(config.app_check_build_type_name(), "current");
    // Key names are case-sensitive; empty values count as missing.
    EXPECT_EQ(config.app_api, build_info::api_origin());
    EXPECT_EQ(config.app_websocket, build_info::websocket_address());
    EXPECT_EQ(config.app_account_page, build_info::account_page_address());
    // The application's type and executable are never read back.
    EXPECT_EQ(config.app_branch, "Solvanter");
    EXPECT_EQ(config.app_executable, "Solvanter");

    auto expectedDescription = defaultDescription;
    expectedDescription.set(1, "  Build: 3.0.0");
    EXPECT_EQ(logger.untimed(),
              string_array({ "[ERROR]: Invalid launcher build type in config:  latest",
                             "[INFO]: Loaded config:\n" + described(expectedDescription) }));
}

TEST(ConfigLoad, MalformedFileOrFolderCountsAsExistingWithNoKeys)
{
    ConfigFileGuard guard;
    const auto expectedLog = juce::StringArray("[INFO]: Loaded config:\n" + described(defaultDescription));

    guard.write_text("<PROPERTIES><VALUE name=\"app_api\" val=\"https://half.example.test\"");
    {
        CapturingLogger logger;
        Config config;
        EXPECT_EQ(config.app_api, build_info::api_origin());
        EXPECT_EQ(logger.untimed(), expectedLog);
    }

    guard.remove();
    ASSERT_TRUE(ConfigFileGuard::file().createDirectory());
    {
        CapturingLogger logger;
        Config config;
        EXPECT_TRUE(config.load_config());
        EXPECT_EQ(config.app_api, build_info::api_origin());
        EXPECT_EQ(logger.untimed()[0], expectedLog[0]);
    }
}

TEST(ConfigSave, FreshFileHoldsTheEightKeysInSaveOrder)
{
    ConfigFileGuard guard;
    CapturingLogger logger;
    {
        Config config;
        logger.clear();
        EXPECT_TRUE(config.save_config());
        EXPECT_EQ(logger.untimed(), juce::StringArray("[INFO]: Config saved to file"));
    }

    EXPECT_EQ(ConfigFileGuard::saved_entries(),
              string_array({ "app_account_page=" + build_info::account_page_address(),
                             "app_api=" + build_info::api_origin(), "app_branch=Solvanter", "app_build=current",
                             "app_executable=Solvanter", "app_version=current",
                             "app_websocket=" + build_info::websocket_address(), "launcher_build=current" }));
    const auto root = juce::parseXML(ConfigFileGuard::file());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->getTagName(), "PROPERTIES");
}

TEST(ConfigSave, UnchangedFileIsNotRewrittenButTheSaveIsReported)
{
    ConfigFileGuard guard;
    guard.write_values({ { "launcher_build", "current" },
                         { "app_account_page", build_info::account_page_address().toRawUTF8() },
                         { "app_api", build_info::api_origin().toRawUTF8() },
                         { "app_branch", "Solvanter" },
                         { "app_build", "current" },
                         { "app_executable", "Solvanter" },
                         { "app_version", "current" },
                         { "app_websocket", build_info::websocket_address().toRawUTF8() } });
    const auto file = ConfigFileGuard::file();
    const auto oldTime = juce::Time(2001, 0, 1, 12, 0);
    ASSERT_TRUE(file.setLastModificationTime(oldTime));
    const auto content = file.loadFileAsString();

    CapturingLogger logger;
    {
        Config config;
        logger.clear();
        EXPECT_TRUE(config.save_config());
    }
    EXPECT_EQ(logger.untimed(), juce::StringArray("[INFO]: Config saved to file"));
    EXPECT_EQ(file.getLastModificationTime(), oldTime);
    EXPECT_EQ(file.loadFileAsString(), content);
}

TEST(ConfigSave, KeepsUnknownKeysAndWritesTheCompiledValuesOfIgnoredOnes)
{
    ConfigFileGuard guard;
    guard.write_values({ { "custom_key", "keep me" },
                         { "app_branch", "OtherBranch" },
                         { "launcher_build", "LATEST" },
                         { "app_executable", "Other" } });
    {
        CapturingLogger logger;
        Config config;
        EXPECT_TRUE(config.save_config());
    }

    // Keys the file had keep their places; new ones are added at the end in save order.
    EXPECT_EQ(ConfigFileGuard::saved_entries(),
              string_array({ "custom_key=keep me", "app_branch=Solvanter", "launcher_build=latest",
                             "app_executable=Solvanter",
                             "app_account_page=" + build_info::account_page_address(),
                             "app_api=" + build_info::api_origin(), "app_build=current",
                             "app_version=current", "app_websocket=" + build_info::websocket_address() }));
}

TEST(ConfigSave, PinnedBuildSurvivesARoundTrip)
{
    ConfigFileGuard guard;
    guard.write_values({ { "app_build", "5.4.3" }, { "app_version", "5.4.3" }, { "app_api", "https://pinned.example.test" } });
    {
        CapturingLogger logger;
        Config config;
        ASSERT_EQ(config.app_build, BuildType::version);
        EXPECT_TRUE(config.save_config());
    }
    EXPECT_TRUE(ConfigFileGuard::saved_entries().contains("app_build=version"));
    EXPECT_TRUE(ConfigFileGuard::saved_entries().contains("app_version=5.4.3"));

    CapturingLogger logger;
    Config reloaded;
    EXPECT_EQ(reloaded.app_build, BuildType::version);
    EXPECT_EQ(reloaded.app_version, "5.4.3");
    EXPECT_EQ(reloaded.app_api, "https://pinned.example.test");
    EXPECT_EQ(reloaded.launcher_build, BuildType::current);
    EXPECT_TRUE(logger.untimed()[0].contains("\n  Build: 5.4.3\n"));
}

TEST(ConfigSave, UnwritablePathIsLoggedWithTheQuotedPath)
{
    ConfigFileGuard guard;
    // A folder in the file's place: the file cannot be written whoever runs the test.
    ASSERT_TRUE(ConfigFileGuard::file().getChildFile("inside").create());
    CapturingLogger logger;
    {
        Config config;
        logger.clear();
        EXPECT_FALSE(config.save_config());
    }
    EXPECT_EQ(logger.untimed(),
              juce::StringArray("[ERROR]: Failed to write config file: \""
                                + ConfigFileGuard::file().getFullPathName() + "\""));
    EXPECT_TRUE(ConfigFileGuard::file().getChildFile("inside").existsAsFile());
}

TEST(ConfigRequests, AddressesForEveryBuildType)
{
    ConfigFileGuard guard;
    CapturingLogger logger;
    Config config;
    const juce::String base = "https://api.example.test/launcher/Windows";
    config.launcher_api = juce::URL(base);
    const auto url = [](const juce::URL& u) { return u.toString(false); };

    const juce::String launcher = "/Solvanter-launcher";
    const juce::String buildName = "/Solvanter-launcher_Windows_2.9.24_e0accb7_2022-05-13_0702";
    EXPECT_EQ(url(config.launcher_version_url()), base + "/check_version/launcher/current" + launcher + buildName);
    EXPECT_EQ(url(config.launcher_download_url()), base + "/get_build_url/launcher/current" + launcher);
    EXPECT_EQ(url(config.app_version_url("1.2.3")), base + "/check_version/app/current/Solvanter/1.2.3");
    EXPECT_EQ(url(config.app_download_url()), base + "/get_build_url/app/current/Solvanter");

    config.launcher_build = BuildType::latest;
    config.app_build = BuildType::latest;
    EXPECT_EQ(url(config.launcher_version_url()), base + "/check_version/launcher/latest" + launcher + buildName);
    EXPECT_EQ(url(config.launcher_download_url()), base + "/get_build_url/launcher/latest" + launcher);
    EXPECT_EQ(url(config.app_version_url("1.2.3")), base + "/check_version/app/latest/Solvanter/1.2.3");
    EXPECT_EQ(url(config.app_download_url()), base + "/get_build_url/app/latest/Solvanter");

    // A pinned version checks as current and downloads as "version", with no version number.
    config.app_build = BuildType::version;
    config.app_version = "4.0.0";
    EXPECT_EQ(url(config.app_version_url("3.9.0")), base + "/check_version/app/current/Solvanter/3.9.0");
    EXPECT_EQ(url(config.app_download_url()), base + "/get_build_url/app/version/Solvanter");

    // The installed version goes in unchanged: a slash adds a segment.
    EXPECT_EQ(url(config.app_version_url("2.0/beta")), base + "/check_version/app/current/Solvanter/2.0/beta");
}
