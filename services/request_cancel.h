#pragma once

#include <juce_core/juce_core.h>

// Lets one thread cancel the HTTP request that another thread is blocked in.
// The worker installs its RequestCanceller for its own thread; api_call and the download open
// their streams through open_web_stream, which registers them here while they are in use.
class RequestCanceller
{
public:
    // Any thread: cancels the stream in flight and every later one opened on the owning thread.
    void cancel();
    bool is_cancelled() const;

    // Calling thread: requests opened by this thread from now on answer to `canceller` (or to
    // nothing when null).
    static void install_for_current_thread(RequestCanceller* canceller);
    // Calling thread: whether the canceller its requests answer to has been cancelled.
    static bool current_thread_cancelled();

    class Registration
    {
    public:
        explicit Registration(juce::WebInputStream& stream);
        ~Registration();

    private:
        RequestCanceller* owner;
        JUCE_DECLARE_NON_COPYABLE(Registration)
    };

private:
    mutable juce::CriticalSection lock;
    juce::WebInputStream* active = nullptr;
    bool cancelled = false;
};

// A GET request stream opened as juce::URL::createInputStream would open it, but cancellable by
// the thread's RequestCanceller, and only over HTTP or HTTPS: an address, or a redirect's target,
// of any other scheme is refused before anything connects. Redirects (at most 5) are followed here
// so that each target is judged first. Returns null when no stream could be opened, the request
// failed or was refused. statusCode receives the HTTP status (0 when none was received);
// opening_seconds() is how long the opening took, as the failure messages report it; refusal()
// is the error line of a refused address (empty otherwise).
class WebStream
{
public:
    WebStream(const juce::URL& url, int connectionTimeoutMs, int& statusCode,
              juce::StringPairArray* responseHeaders = nullptr);
    ~WebStream();

    juce::InputStream* get() const { return opened ? stream.get() : nullptr; }
    double opening_seconds() const { return openingSeconds; }
    const juce::String& refusal() const { return refused; }

private:
    void open(const juce::URL& url, int connectionTimeoutMs, int& statusCode);

    std::unique_ptr<juce::WebInputStream> stream;
    std::unique_ptr<RequestCanceller::Registration> registration;
    bool opened = false;
    double openingSeconds = 0.0;
    juce::String refused;
};
