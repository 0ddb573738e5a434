#include "app/command_line.h"

#include "services/build_info.h"

juce::ArgumentList parse_command_line(const juce::String& commandLine)
{
    return juce::ArgumentList(build_info::application_name,
                              juce::StringArray::fromTokens(commandLine, true));
}

juce::String usage_text()
{
    static constexpr const char* options[][2] = {
        { "--help", "Print usage and exit" },
        { "--headless", "Run without GUI" },
        { "--skip-app-update", "Skip app update (if installed)" },
        { "--skip-update", "Skip launcher update" },
        { "--version", "Print build version and exit" },
        { "--write-config", "Write config file" },
        { "--write-config-and-quit", "Write config file and exit" },
    };

    // Descriptions start in column 30.
    juce::StringArray lines;
    for (const auto& option : options)
        lines.add(("  " + juce::String(option[0])).paddedRight(' ', 29) + option[1]);

    return juce::String(build_info::application_name) + " " + build_info::version_line + "\n"
         + lines.joinIntoString("\n");
}
