#include "services/request_cancel.h"

#include "services/log_text.h"
#include "services/web_address.h"

// The transport's own default.
constexpr int maxRedirects = 5;

static thread_local RequestCanceller* currentCanceller = nullptr;

void RequestCanceller::cancel()
{
    const juce::ScopedLock sl(lock);
    cancelled = true;
    if (active != nullptr)
        active->cancel();
}

bool RequestCanceller::is_cancelled() const
{
    const juce::ScopedLock sl(lock);
    return cancelled;
}

void RequestCanceller::install_for_current_thread(RequestCanceller* canceller)
{
    currentCanceller = canceller;
}

bool RequestCanceller::current_thread_cancelled()
{
    return currentCanceller != nullptr && currentCanceller->is_cancelled();
}

RequestCanceller::Registration::Registration(juce::WebInputStream& stream)
    : owner(currentCanceller)
{
    if (owner == nullptr)
        return;

    const juce::ScopedLock sl(owner->lock);
    owner->active = &stream;
    if (owner->cancelled)
        stream.cancel();
}

RequestCanceller::Registration::~Registration()
{
    if (owner == nullptr)
        return;

    const juce::ScopedLock sl(owner->lock);
    owner->active = nullptr;
}

WebStream::WebStream(const juce::URL& url, int connectionTimeoutMs, int& statusCode,
                     juce::StringPairArray* responseHeaders)
{
    const juce::ScopedTimeMeasurement measurement(openingSeconds);
    statusCode = 0;

    // Judged as the transport receives it.
    auto address = url.toString(true);
    if (! is_web_address(address))
    {
        refused = "Refused to open a non-HTTP(S) address: " + shown_in_log(address);
        return;
    }

    open(url, connectionTimeoutMs, statusCode);
    for (int redirects = 0; opened && is_redirect_status(statusCode); ++redirects)
    {
        // Without a target the redirect is the answer, as the transport would have taken it.
        const auto location = stream->getResponseHeaders()["Location"].trim();
        if (location.isEmpty())
            break;

        // As the transport's own limit: the last redirect fails with its status.
        if (redirects == maxRedirects)
        {
            opened = false;
            break;
        }

        address = redirect_target(address, location);
        if (! is_web_address(address))
        {
            refused = "Refused to follow a redirect to a non-HTTP(S) address: " + shown_in_log(address);
            opened = false;
            statusCode = 0;
            break;
        }
        open(juce::URL::createWithoutParsing(address), connectionTimeoutMs, statusCode);
    }

    if (responseHeaders != nullptr && stream != nullptr && refused.isEmpty())
        *responseHeaders = stream->getResponseHeaders();
}

void WebStream::open(const juce::URL& url, int connectionTimeoutMs, int& statusCode)
{
    registration.reset();
    stream = std::make_unique<juce::WebInputStream>(url, false);
    stream->withConnectionTimeout(connectionTimeoutMs);
    stream->withNumRedirectsToFollow(0);
    registration = std::make_unique<RequestCanceller::Registration>(*stream);

    const auto connected = stream->connect(nullptr);

    // A request that got no answer reports no status, whatever the transport says.
    statusCode = juce::jmax(0, stream->getStatusCode());
    opened = connected && ! stream->isError();
}

WebStream::~WebStream()
{
    registration.reset();
    stream.reset();
}
