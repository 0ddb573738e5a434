// The launcher's own update: check, download, unzip beside the launcher, hand over to the patcher.
#include "engine/LauncherComponent.h"

#include "engine/Patcher.h"
#include "services/api.h"
#include "services/build_info.h"
#include "services/log.h"
#include "services/log_text.h"

bool LauncherComponent::update_launcher()
{
    if (! check_launcher_update())
        return true;

    return download_launcher_update();
}

bool LauncherComponent::check_launcher_update()
{
    if (threadShouldExit())
        return false;

    if (skipUpdate)
    {
        log_info("Skipping self-update");
        return false;
    }

    if (launcherUpdateVersion.isNotEmpty())
    {
        log_info("Already got launcher update version");
        return true;
    }

    const auto buildType = config.launcher_build_type_name();
    update_state("Checking launcher update to " + buildType, true, false, utils::Level::info);

    const auto reply = api_call(config.launcher_version_url());
    if (request_was_cancelled())
        return false;

    if (! reply.hasProperty("result") || ! reply.hasProperty("remote_version"))
    {
        log_error("Launcher version query failed");
        return false;
    }

    if (threadShouldExit())
        return false;

    if (static_cast<bool>(reply.getProperty("result", false)))
    {
        log_info("Launcher is up to date");
        return false;
    }

    const auto version = reply.getProperty("remote_version", juce::String()).toString().trim();
    if (version.isEmpty())
    {
        log_info("No remote version available for launcher");
        return false;
    }

    launcherUpdateVersion = version;
    update_state("Launcher update available", true, false, utils::Level::info);
    log_info("Update to " + buildType + ": " + shown_in_log(version).quoted());
    return true;
}

bool LauncherComponent::download_launcher_update()
{
    update_state("Updating launcher", true, false, utils::Level::info);
    return download_and_install("launcher", config.launcher_download_url(),
                                &LauncherComponent::install_launcher_update);
}

juce::Result LauncherComponent::install_launcher_update(const juce::MemoryBlock& data)
{
    if (threadShouldExit())
        return juce::Result::fail("Cancelled");

    // Named after the application, so it never clashes with the launcher's executable beside it.
    const auto target = launcher_directory().getChildFile(build_info::running_application_name());
    log_info("Unzipping launcher build to: " + shown_in_log(target.getFullPathName()).quoted());
    log_info("Zip data size: " + juce::String(megabytes((juce::int64) data.getSize()), 2) + " MB");

    // Unzipped and swapped in whole, under the same lock as the application's install. An earlier
    // build set aside is of no use: the patcher only ever takes the newest. An empty folder is
    // left to the patcher, which finds no files in it.
    const auto checkBuild = [](const juce::File& staged) {
        if (staged.isDirectory())
            return juce::Result::ok();
        return juce::Result::fail("Launcher build not found");
    };
    StagedBuild::Replaced replaced;
    juce::File setAside;
    auto result = stage_and_swap_in(data, target, false, checkBuild, "Failed to remove earlier launcher build", replaced,
                                    setAside);
    if (result.failed())
        return result;
    if (replaced == StagedBuild::Replaced::setAside)
        log_info("Could not remove the replaced launcher build " + shown_in_log(setAside.getFullPathName()).quoted()
                 + "; it is removed at a later start");

    Patcher patcher(target);
    result = patcher.generate();
    if (result.failed())
        return result;

    if (threadShouldExit())
        return juce::Result::fail("Cancelled");

    result = patcher.run();
    if (result.failed())
        return result;

    log_info("Closing launcher for self-update");

    // Only posts the quit; safe from this thread. Tests run without an application object.
    if (auto* app = juce::JUCEApplicationBase::getInstance())
        app->systemRequestedQuit();

    signalThreadShouldExit();
    return juce::Result::ok();
}
