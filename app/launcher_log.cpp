#include "app/launcher_log.h"

#include "services/build_info.h"

juce::File launcher_log_file()
{
    return juce::File::getSpecialLocation(juce::File::userApplicationDataDirectory)
        .getChildFile("Solvanter")
        .getChildFile("launcher.log");
}

std::unique_ptr<juce::FileLogger> open_launcher_log()
{
    return std::make_unique<juce::FileLogger>(launcher_log_file(), build_info::application_name, 65536);
}
