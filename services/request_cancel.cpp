#include "services/request_cancel.h"

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

    stream = std::make_unique<juce::WebInputStream>(url, false);
    stream->withConnectionTimeout(connectionTimeoutMs);
    registration = std::make_unique<RequestCanceller::Registration>(*stream);

    const auto connected = stream->connect(nullptr);

    // A request that got no answer reports no status, whatever the transport says.
    statusCode = juce::jmax(0, stream->getStatusCode());
    if (responseHeaders != nullptr)
        *responseHeaders = stream->getResponseHeaders();

    opened = connected && ! stream->isError();
}

WebStream::~WebStream()
{
    registration.reset();
    stream.reset();
}
