#pragma once

#include <juce_core/juce_core.h>

// Constants of this launcher build, shared by the configuration, the system information and the
// command line.
namespace build_info
{
inline constexpr const char* launcher_name = "Solvanter-launcher";
inline constexpr const char* application_name = "Solvanter Launcher";
inline constexpr const char* application_version = "2.9.24";
inline constexpr const char* version_line = "2.9.24 e0accb7 13.05.2022";
inline constexpr const char* build_name = "Solvanter-launcher_Windows_2.9.24_e0accb7_2022-05-13_0702";

// The running executable. currentExecutableFile would resolve a relative start path against the
// working directory each time it is asked, and the worker changes that directory.
juce::File running_executable();
// The running application object's name, or the constant when there is none (tests).
juce::String running_application_name();

juce::String api_origin();
juce::String launcher_api_base();     // the API origin followed by "/launcher/Windows"
juce::String websocket_address();
juce::String account_page_address();
juce::String support_host();          // host name only, as the link shows it
juce::String support_page();          // "https://" + host + "/"
} // namespace build_info
