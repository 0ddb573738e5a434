#include "services/system_info.h"

#include <iostream>

#include "services/build_info.h"
#include "services/log.h"

juce::String compile_date_text()
{
    return juce::Time::getCompilationDate().toString(true, true, false, true);
}

static juce::String bitness_text()
{
    return juce::SystemStats::isOperatingSystem64Bit() ? " 64 bit" : " 32 bit";
}

juce::StringArray system_info_lines()
{
    const juce::String buildName(build_info::build_name);
    return {
        "Launcher:     " + juce::String(build_info::launcher_name),
        "Version:      " + juce::String(build_info::version_line),
        "Build name:   " + buildName.substring(19),
        "Compile date: " + juce::SystemStats::getJUCEVersion() + " " + compile_date_text(),
        "OS:           " + juce::SystemStats::getOperatingSystemName() + bitness_text(),
        "Device:       " + juce::SystemStats::getDeviceDescription(),
        "Manufacturer: " + juce::SystemStats::getDeviceManufacturer(),
        "CPU model:    " + juce::SystemStats::getCpuModel(),
        "CPU cores:    " + juce::String(juce::SystemStats::getNumPhysicalCpus()) + "C/"
            + juce::String(juce::SystemStats::getNumCpus()) + "T",
        "Memory size:  " + juce::String(juce::SystemStats::getMemorySizeInMegabytes()) + " MB",
        "User region:  " + juce::SystemStats::getUserRegion(),
        "User lang:    " + juce::SystemStats::getUserLanguage(),
        "Display lang: " + juce::SystemStats::getDisplayLanguage(),
    };
}

void log_system_info()
{
    log_info("System info");
    for (const auto& line : system_info_lines())
    {
        std::cout << "    " << line.toRawUTF8() << "\n";
        juce::Logger::writeToLog("    " + line);
    }
}

juce::String about_text()
{
    return build_info::running_application_name() + " " + build_info::application_version
         + "\nVersion: " + build_info::version_line
         + "\n" + juce::SystemStats::getJUCEVersion() + " " + compile_date_text()
         + "\n" + juce::SystemStats::getOperatingSystemName() + bitness_text();
}
