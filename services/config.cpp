#include "services/config.h"

#include "services/build_info.h"
#include "services/log.h"
#include "services/log_text.h"
#include "services/web_address.h"

BuildType parse_build_type(const juce::String& text)
{
    if (text.equalsIgnoreCase("latest"))
        return BuildType::latest;
    if (text.equalsIgnoreCase("current"))
        return BuildType::current;
    return BuildType::version;
}

static juce::File config_file_beside_executable()
{
    return build_info::running_executable().getSiblingFile("config.xml");
}

Config::Config()
    : launcher_name(build_info::launcher_name),
      launcher_build_name(build_info::build_name),
      launcher_build(parse_build_type("current")),
      app_account_page(build_info::account_page_address()),
      app_api(build_info::api_origin()),
      app_branch("Solvanter"),
      app_name("Solvanter"),
      app_build(BuildType::current),
      app_version("current"),
      app_websocket(build_info::websocket_address()),
      app_executable("Solvanter"),
      config_file(config_file_beside_executable()),
      properties(config_file),
      launcher_api(build_info::launcher_api_base())
{
    load_config();
}

bool Config::load_config()
{
    if (! config_file.exists())
    {
        log_info("Using default config");
        return false;
    }

    properties.reload();

    // An empty value leaves the default, just like a missing key.
    auto read = [this](const char* key) { return properties.get_value(key); };

    const auto launcherBuild = read("launcher_build");
    if (launcherBuild.isNotEmpty())
    {
        if (launcherBuild.equalsIgnoreCase("latest"))
            launcher_build = BuildType::latest;
        else if (launcherBuild.equalsIgnoreCase("current"))
            launcher_build = BuildType::current;
        else
        {
            log_error("Invalid launcher build type in config: " + shown_in_log(launcherBuild));
            launcher_build = BuildType::current;
        }
    }

    if (auto v = read("app_account_page"); v.isNotEmpty()) app_account_page = v;
    if (auto v = read("app_api"); v.isNotEmpty()) app_api = v;
    if (auto v = read("app_build"); v.isNotEmpty()) app_build = parse_build_type(v);
    if (auto v = read("app_version"); v.isNotEmpty()) app_version = v;
    if (auto v = read("app_websocket"); v.isNotEmpty()) app_websocket = v;

    log_info("Loaded config:\n" + describe_config());
    return true;
}

bool Config::save_config()
{
    properties.set_value("app_account_page", app_account_page);
    properties.set_value("app_api", app_api);
    properties.set_value("app_branch", app_branch);
    properties.set_value("app_build", app_build_type_name());
    properties.set_value("app_executable", app_executable);
    properties.set_value("app_version", app_version);
    properties.set_value("app_websocket", app_websocket);
    properties.set_value("launcher_build", launcher_build_type_name());

    if (properties.save_if_needed())
    {
        log_info("Config saved to file");
        return true;
    }

    log_error("Failed to write config file: " + shown_in_log(config_file.getFullPathName()).quoted());
    return false;
}

juce::String Config::describe_config() const
{
    juce::String text = "  App: " + shown_in_log(app_branch);
    text << (app_branch != app_name ? " (" + shown_in_log(app_name) + ")\n" : juce::String("\n"));
    text << "  Build: " << shown_in_log(app_build == BuildType::version ? app_version : app_build_type_name()) << "\n";
    text << "  API: " << shown_in_log(app_api) << "\n";
    text << "  Websocket: " << shown_in_log(app_websocket) << "\n";
    text << "  Account page: " << shown_in_log(app_account_page);
    return text;
}

juce::StringArray Config::app_arguments() const
{
    return { "--api", app_api, "--sock", app_websocket, "--web", app_account_page };
}

juce::String Config::launcher_build_type_name() const
{
    return launcher_build == BuildType::latest ? "latest" : "current";
}

juce::String Config::app_check_build_type_name() const
{
    return app_build == BuildType::latest ? "latest" : "current";
}

juce::String Config::app_build_type_name() const
{
    switch (app_build)
    {
        case BuildType::current: return "current";
        case BuildType::latest: return "latest";
        case BuildType::version: break;
    }
    return "version";
}

juce::URL Config::launcher_version_url() const
{
    return launcher_api.getChildURL("check_version")
        .getChildURL("launcher")
        .getChildURL(launcher_build_type_name())
        .getChildURL(launcher_name)
        .getChildURL(launcher_build_name);
}

juce::URL Config::launcher_download_url() const
{
    return launcher_api.getChildURL("get_build_url")
        .getChildURL("launcher")
        .getChildURL(launcher_build_type_name())
        .getChildURL(launcher_name);
}

juce::URL Config::app_version_url(const juce::String& installedVersion) const
{
    return launcher_api.getChildURL("check_version")
        .getChildURL("app")
        .getChildURL(app_check_build_type_name())
        .getChildURL(app_name)
        .getChildURL(path_segment(installedVersion));
}

juce::URL Config::app_download_url() const
{
    return launcher_api.getChildURL("get_build_url")
        .getChildURL("app")
        .getChildURL(app_build_type_name())
        .getChildURL(app_name);
}
