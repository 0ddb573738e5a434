#pragma once

#include <juce_core/juce_core.h>

#include "services/config_properties.h"

enum class BuildType
{
    current = 0,
    latest = 1,
    version = 2
};

// "latest" and "current" in any case; anything else is a pinned version.
BuildType parse_build_type(const juce::String& text);

// The launcher's settings: compiled defaults, then config.xml beside the executable.
// Built and saved on the message thread before the worker starts; the worker only reads it,
// except for the save after a successful run with "--write-config".
class Config
{
public:
    Config();

    bool load_config();
    bool save_config();
    juce::String describe_config() const;
    juce::StringArray app_arguments() const;

    juce::String launcher_build_type_name() const;
    juce::String app_check_build_type_name() const;
    juce::String app_build_type_name() const;

    juce::URL launcher_version_url() const;
    juce::URL launcher_download_url() const;
    juce::URL app_version_url(const juce::String& installedVersion) const;
    juce::URL app_download_url() const;

    juce::String launcher_name;
    juce::String launcher_build_name;
    BuildType launcher_build;
    juce::String app_account_page;
    juce::String app_api;
    juce::String app_branch;
    juce::String app_name;
    BuildType app_build;
    juce::String app_version;
    juce::String app_websocket;
    juce::String app_executable;
    juce::File config_file;
    ConfigProperties properties;
    juce::URL launcher_api;

    JUCE_DECLARE_NON_COPYABLE(Config)
};
