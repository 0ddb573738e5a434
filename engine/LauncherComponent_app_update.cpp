// The application step: decide whether to install or update, then download and install.
#include "engine/LauncherComponent.h"

#include "services/api.h"
#include "services/log.h"
#include "services/log_text.h"

bool LauncherComponent::update_app()
{
    if (! check_app_update())
        return true;

    if (threadShouldExit())
        return false;

    update_state("Updating " + config.app_branch, true, false, utils::Level::info);

    if (! wait_for_app_closed())
        return false;

    return download_and_install(config.app_branch, config.app_download_url(), &LauncherComponent::install_app);
}

bool LauncherComponent::check_app_update()
{
    const auto buildTypeName = config.app_build_type_name();
    update_state("Checking app update to " + buildTypeName, true, false, utils::Level::info);

    if (find_app_build(false).failed())
    {
        log_info("App is not installed");
        return true;
    }

    const auto installedVersion = read_installed_version();
    if (installedVersion.isEmpty())
        return true;

    // Only an installed, readable application may skip the update.
    if (skipAppUpdate)
    {
        log_info("Skipping app update");
        return false;
    }

    if (config.app_build == BuildType::version)
    {
        if (config.app_version == installedVersion)
        {
            log_info("Correct app version installed");
            return false;
        }

        expectedAppVersion = config.app_version;
        log_info("Getting " + buildTypeName + ": " + shown_in_log(config.app_version).quoted());
        return true;
    }

    const auto reply = api_call(config.app_version_url(installedVersion));
    if (request_was_cancelled())
        return false;

    if (! reply.hasProperty("result") || ! reply.hasProperty("remote_version"))
    {
        log_error("App version query failed");
        return true;
    }

    if ((bool) reply["result"])
    {
        log_info("App is up to date");
        return false;
    }

    const auto remoteVersion = reply["remote_version"].toString().trim();
    if (remoteVersion.isEmpty())
    {
        log_info("No remote version available for app");
        return false;
    }

    expectedAppVersion = remoteVersion;
    log_info("Update to " + buildTypeName + ": " + shown_in_log(remoteVersion).quoted());
    return true;
}
