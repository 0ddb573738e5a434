#include "services/api.h"

#include "services/log.h"
#include "services/log_text.h"
#include "services/reply_limits.h"
#include "services/request_cancel.h"

juce::var api_call(const juce::URL& url)
{
    int statusCode = 0;
    const WebStream stream(url, 10000, statusCode);

    // Cancelled because the launcher is quitting: not the backend's failure; the caller says so.
    if (RequestCanceller::current_thread_cancelled())
        return {};

    if (stream.refusal().isNotEmpty())
    {
        log_error(stream.refusal());
        return {};
    }

    if (stream.get() == nullptr)
    {
        if (statusCode == 0)
            log_error("API call timed out after " + juce::String(stream.opening_seconds(), 1) + " seconds");
        else
            log_error("API call failed with status code: " + juce::String(statusCode));
        return {};
    }

    juce::var reply;
    juce::String body;
    if (! read_reply_body(*stream.get(), body))
    {
        log_error("API reply too large (more than " + juce::String(maxReplyBytes / 1024) + " KB)");
        return {};
    }
    if (! parse_reply(body, reply))
    {
        log_error("API reply nested too deeply (more than " + juce::String(maxReplyDepth) + " levels)");
        return {};
    }

    if (RequestCanceller::current_thread_cancelled())
        return {};

    if (statusCode == 200)
        return reply;

    const auto message = shown_in_log(reply.getProperty("message", juce::var()).toString());
    if (statusCode == 403)
        log_error("API connection error (403): " + message);
    else if (statusCode == 500)
        log_error("API call failed in backend (500): " + message);
    else
        log_error("API call failed (" + juce::String(statusCode) + "): " + message);

    if (reply.hasProperty("response_data"))
        log_json(get_response_data(reply));

    return reply;
}

const juce::var& get_response_data(const juce::var& reply)
{
    static const juce::var none;
    if (auto* object = reply.getDynamicObject())
        return object->getProperty("response_data");
    return none;
}

bool check_api_status(const juce::String& apiUrl)
{
    if (apiUrl.indexOf("local") >= 0)
    {
        log_info("Skipping API connection check for " + shown_in_log(apiUrl));
        return true;
    }

    const auto reply = api_call(juce::URL(apiUrl));
    if (reply.hasProperty("message"))
    {
        log_info("Message: " + shown_in_log(reply["message"].toString()));
        return true;
    }

    if (! RequestCanceller::current_thread_cancelled())
        log_error("Failed to get API status message");
    return false;
}
