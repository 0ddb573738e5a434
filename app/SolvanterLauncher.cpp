#include "app/SolvanterLauncher.h"

#include <iostream>

#include "app/PublicGuiComponent.h"
#include "app/command_line.h"
#include "app/launcher_log.h"
#include "platform/platform.h"
#include "services/build_info.h"
#include "services/log.h"
#include "services/log_text.h"
#include "services/system_info.h"

SolvanterLauncher::~SolvanterLauncher()
{
    // The log closes last but one: the window is already gone after the shutdown.
    logger.reset();
    mainWindow.reset();
}

const juce::String SolvanterLauncher::getApplicationName()
{
    return build_info::application_name;
}

const juce::String SolvanterLauncher::getApplicationVersion()
{
    return build_info::application_version;
}

bool SolvanterLauncher::moreThanOneInstanceAllowed()
{
    return true;
}

void SolvanterLauncher::initialise(const juce::String& commandLine)
{
    platform::use_parent_console();
    platform::make_oversized_writes_fail();
    auto args = parse_command_line(commandLine);

    if (args.indexOfOption("--help") >= 0)
    {
        std::cout << usage_text() << std::endl;
        quit();
        return;
    }

    if (args.indexOfOption("--version") >= 0)
    {
        std::cout << build_info::build_name << std::endl;
        quit();
        return;
    }

    // The framework makes paths of these (the log's, the font scan's) and trusts them to be UTF-8;
    // broken bytes there corrupt its strings. No log can be opened: its folder is made of them.
    if (juce::String shown; ! platform::environment_is_text(shown))
    {
        std::cerr << (juce::Time::getCurrentTime().formatted("%H:%M:%S ")
                      + "[ERROR]: Cannot run with an environment variable that is not UTF-8 text: " + shown
                      + " (no launcher.log is written; set it to a path that is text)")
                         .toRawUTF8()
                  << std::endl;
        setApplicationReturnValue(1);
        quit();
        return;
    }

    // The OS's termination requests take the same road as the close button, so the worker is
    // stopped and the log closed in order.
    platform::on_termination_request([] {
        juce::MessageManager::callAsync([] {
            if (auto* app = juce::JUCEApplicationBase::getInstance())
                app->systemRequestedQuit();
        });
    });

    logger = open_launcher_log();
    juce::Logger::setCurrentLogger(logger.get());

    // The framework would make a path of the executable's and trust it to be UTF-8; broken bytes
    // there corrupt its strings. Nothing has used the path yet.
    if (juce::String shown; ! platform::executable_path_is_text(shown))
    {
        log_error("Cannot run from a path that is not UTF-8 text: " + shown_in_log(shown)
                  + " (move the launcher to a folder whose name is text)");
        setApplicationReturnValue(1);
        systemRequestedQuit();
        return;
    }

    log_system_info();

    if (args.size() > 0)
        log_info("Args: " + shown_in_log(commandLine));

    // Nothing could be shown, and nobody could close the window after a failure.
    if (args.indexOfOption("--headless") < 0 && args.indexOfOption("--write-config-and-quit") < 0
        && ! platform::display_available())
    {
        log_info("No display available (DISPLAY unset or unreachable): running as with --headless");
        args.arguments.add({ "--headless" });
    }

    mainWindow = std::make_unique<MainWindow>(getApplicationName(), args);

    if (args.indexOfOption("--write-config-and-quit") >= 0)
    {
        log_info("Writing config file and quitting");
        mainWindow->setVisible(false);
        mainWindow->content->launcher.config.save_config();
        systemRequestedQuit();
        return;
    }

    if (args.indexOfOption("--headless") >= 0)
    {
        log_info("Running in headless mode");
        mainWindow->setVisible(false);
    }
    else
    {
        mainWindow->setVisible(true);
        mainWindow->toFront(true);
    }

    mainWindow->content->launcher.startThread();
}

void SolvanterLauncher::shutdown()
{
    // From here on a termination request is swallowed: the shutdown is already under way.
    platform::on_termination_request({});
    mainWindow.reset();
    juce::Logger::setCurrentLogger(nullptr);
}

void SolvanterLauncher::anotherInstanceStarted(const juce::String& commandLine)
{
    if (! commandLine.startsWithIgnoreCase("solvanter:"))
    {
        log_info("Another instance started with args: " + shown_in_log(commandLine));
        return;
    }

    log_info("Launched with deep link");

    const auto option = juce::URL(commandLine).getDomain();
    if (option.isNotEmpty() && ! option.equalsIgnoreCase("launch"))
        log_error("Unsupported deep link option: " + shown_in_log(option));
}

void SolvanterLauncher::systemRequestedQuit()
{
    const auto exitCode = getApplicationReturnValue();

    if (exitCode != 0)
        log_info("Quit launcher with exit code " + juce::String(exitCode));
    else
        log_info("Quit launcher");

    quit();
}
