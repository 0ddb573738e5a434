// solvanter-bench-driver: times the launcher's own download and install steps, once.
//
// Usage: solvanter-bench-driver --launcher-api URL --version VERSION --result FILE
//
// Builds a LauncherComponent whose launcher API is URL (the backend's ".../launcher/Windows"),
// then, as the launcher's worker does, calls download_build for the application and install_app
// with the downloaded archive, while this thread runs the message loop that receives the
// display updates. The application lands beside this executable, as it would beside the
// launcher. FILE receives "key=value" lines:
//   download_seconds, install_seconds, archive_bytes, max_rss_kb, result
// The steps' own log and console lines go to standard output and error.
// Exit status: 0 when both steps succeeded, 1 when one failed, 2 on bad arguments.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include <sys/resource.h>

#include "engine/LauncherComponent.h"

// Reaches the component's private steps (a friend of LauncherComponent).
struct LauncherComponentProbe
{
    LauncherComponent& c;

    juce::Result download_build(juce::MemoryBlock& data, const juce::String& name, const juce::URL& query)
    {
        return c.download_build(data, name, query);
    }
    juce::Result install_app(const juce::MemoryBlock& data) { return c.install_app(data); }
};

namespace
{
double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long max_rss_kb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
} // namespace

int main(int argc, char** argv)
{
    std::string launcherApi, version, resultPath;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string option = argv[i];
        if (option == "--launcher-api")
            launcherApi = argv[i + 1];
        else if (option == "--version")
            version = argv[i + 1];
        else if (option == "--result")
            resultPath = argv[i + 1];
    }
    if (launcherApi.empty() || resultPath.empty() || argc % 2 == 0)
    {
        std::fprintf(stderr, "usage: %s --launcher-api URL --version VERSION --result FILE\n", argv[0]);
        return 2;
    }

    const juce::ScopedJuceInitialiser_GUI juceInit;
    auto launcher = std::make_unique<LauncherComponent>(false, false, false);
    launcher->config.launcher_api = juce::URL(launcherApi);
    launcher->expectedAppVersion = version;

    std::atomic<bool> done { false };
    double downloadSeconds = 0.0, installSeconds = 0.0;
    juce::int64 archiveBytes = 0;
    juce::String outcome;

    // The steps run on a worker thread, as in the launcher, so that the closures they post are
    // handled meanwhile by this (message) thread.
    std::thread worker([&] {
        LauncherComponentProbe probe { *launcher };
        juce::MemoryBlock data;

        const auto downloadStart = std::chrono::steady_clock::now();
        auto result = probe.download_build(data, launcher->config.app_branch, launcher->config.app_download_url());
        downloadSeconds = seconds_since(downloadStart);
        archiveBytes = (juce::int64) data.getSize();

        if (result.wasOk())
        {
            const auto installStart = std::chrono::steady_clock::now();
            result = probe.install_app(data);
            installSeconds = seconds_since(installStart);
        }

        outcome = result.wasOk() ? juce::String("ok") : result.getErrorMessage();
        done = true;
    });

    auto* messageManager = juce::MessageManager::getInstance();
    while (! done)
        messageManager->runDispatchLoopUntil(10);
    worker.join();
    // Let the last posted display changes run before the component goes.
    messageManager->runDispatchLoopUntil(50);
    launcher.reset();

    std::ofstream out(resultPath, std::ios::trunc);
    out << "download_seconds=" << downloadSeconds << "\n"
        << "install_seconds=" << installSeconds << "\n"
        << "archive_bytes=" << archiveBytes << "\n"
        << "max_rss_kb=" << max_rss_kb() << "\n"
        << "result=" << outcome.toStdString() << "\n";
    out.close();

    return outcome == "ok" && out ? 0 : 1;
}
