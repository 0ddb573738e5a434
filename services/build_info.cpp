#include "services/build_info.h"

#include <juce_events/juce_events.h>

#include "deployment.h"

namespace build_info
{
juce::File running_executable()
{
    return juce::File::getSpecialLocation(juce::File::hostApplicationPath);
}

juce::String running_application_name()
{
    if (auto* app = juce::JUCEApplicationBase::getInstance())
        return app->getApplicationName();
    return application_name;
}

juce::String api_origin()           { return SOLVANTER_API_ORIGIN; }
juce::String launcher_api_base()    { return api_origin() + "/launcher/Windows"; }
juce::String websocket_address()    { return SOLVANTER_WEBSOCKET_ADDRESS; }
juce::String account_page_address() { return SOLVANTER_ACCOUNT_PAGE_ADDRESS; }
juce::String support_host()         { return SOLVANTER_SUPPORT_HOST; }
juce::String support_page()         { return "https://" + support_host() + "/"; }
} // namespace build_info
