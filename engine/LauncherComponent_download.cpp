// Fetching a build archive into memory, with the progress bar and a console progress line.
#include "engine/LauncherComponent.h"

#include <cstdlib>
#include <iostream>

#include "services/api.h"
#include "services/log.h"

namespace
{
// Assumed size when the server announces none; no completeness check is made against it.
constexpr juce::int64 unknownTotalBytes = 50000000;
constexpr int chunkBytes = 8192;
constexpr int connectionTimeoutMs = 12000;
} // namespace

bool LauncherComponent::download_and_install(const juce::String& name, const juce::URL& query,
                                             juce::Result (LauncherComponent::*install)(const juce::MemoryBlock&))
{
    juce::MemoryBlock data;
    auto result = download_build(data, name, query);

    // Stopped between the two: nothing to report.
    if (result.wasOk() && threadShouldExit())
        return false;

    if (result.wasOk())
        result = (this->*install)(data);

    if (result.failed())
    {
        // Stopped because the launcher is quitting: nothing went wrong.
        if (requestCanceller.is_cancelled() && result.getErrorMessage() == "Cancelled")
            log_info("Cancelled");
        else
            log_error(result.getErrorMessage());
        return false;
    }
    return true;
}

juce::Result LauncherComponent::download_build(juce::MemoryBlock& data, const juce::String& name,
                                               const juce::URL& query)
{
    if (threadShouldExit())
        return juce::Result::fail("Cancelled");

    const auto text = "Downloading " + name;
    update_state(text, true, false, utils::Level::info);

    const auto reply = api_call(query);
    if (requestCanceller.is_cancelled())
        return juce::Result::fail("Cancelled");

    if (! reply.hasProperty("url"))
        return juce::Result::fail("Download url query failed");

    const auto address = reply["url"].toString().trim();
    if (address.isEmpty())
        return juce::Result::fail("No download url available");

    // Requested byte for byte: parsing would rebuild the query (dropping parameters without a value,
    // re-encoding the rest), and a signed address would no longer match its signature.
    return download_file(data, juce::URL::createWithoutParsing(address), text);
}

juce::Result LauncherComponent::download_file(juce::MemoryBlock& data, const juce::URL& url,
                                              const juce::String& text)
{
    if (threadShouldExit())
        return juce::Result::fail("Cancelled");

    juce::StringPairArray responseHeaders; // keys compared without case
    int statusCode = 0;
    const WebStream stream(url, connectionTimeoutMs, statusCode, &responseHeaders);

    auto* input = stream.get();
    if (requestCanceller.is_cancelled())
        return juce::Result::fail("Cancelled");
    if (stream.refusal().isNotEmpty())
        return juce::Result::fail(stream.refusal());

    if (input == nullptr || statusCode != 200)
    {
        if (statusCode == 0)
            return juce::Result::fail("Download timed out after " + juce::String(stream.opening_seconds(), 1)
                                      + " seconds");
        return juce::Result::fail("Download failed with status code: " + juce::String(statusCode));
    }

    if (threadShouldExit())
        return juce::Result::fail("Cancelled");

    progress = 0.0;
    post_display_change([](LauncherComponent& c) { c.progressBar.setVisible(true); });

    // JUCE's curl transport loses the first response header line, so a "Content-Length" sent first
    // is missing from the map; the stream itself still knows the length.
    auto lengthText = responseHeaders["Content-Length"];
    if (lengthText.isEmpty() && input->getTotalLength() >= 0)
        lengthText = juce::String(input->getTotalLength());
    const juce::int64 total = lengthText.isNotEmpty() ? (juce::int64) std::atoll(lengthText.toRawUTF8())
                                                      : unknownTotalBytes;

    const auto totalMB = megabytes(total);
    log_info("Download size: " + juce::String(totalMB, 2) + " MB");
    const auto totalText = juce::String(totalMB, 1) + " MB";

    const auto tooLarge = juce::Result::fail("Download too large (more than "
                                             + juce::String(megabytes(archiveCeiling), 1) + " MB)");
    if (lengthText.isNotEmpty() && total > archiveCeiling)
        return tooLarge;

    // The whole archive is coming: reserve it once rather than growing the block every chunk.
    if (lengthText.isNotEmpty() && total > 0)
        data.ensureSize((size_t) total + 1);

    juce::MemoryOutputStream output(data, false);
    juce::int64 received = 0;
    double loopSeconds = 0.0;
    {
        const juce::ScopedTimeMeasurement measurement(loopSeconds);

        if (threadShouldExit())
            return juce::Result::fail("Cancelled");

        for (;;)
        {
            const auto count = output.writeFromInputStream(*input, chunkBytes);
            if (count <= 0)
                break;

            received += count;
            if (received > archiveCeiling)
                return tooLarge;
            progress = (double) received / (double) total;

            const auto line = text + ":  " + juce::String(megabytes(received), 1) + " / " + totalText;
            update_state(line, false, false, utils::Level::info);
            std::cout << ("\r" + line).toRawUTF8() << std::flush;

            if (threadShouldExit())
                return juce::Result::fail("Cancelled");
        }

        std::cout << std::endl;
    }

    // A cancelled read ends the loop as if the body had ended.
    if (threadShouldExit())
        return juce::Result::fail("Cancelled");

    const auto dataSize = (juce::int64) output.getDataSize();
    if (total != unknownTotalBytes && (received < total || dataSize < total))
    {
        log_info("Total bytes: " + juce::String(total));
        log_info("downloaded:  " + juce::String(received));
        log_info("Data size:   " + juce::String(dataSize));
        return juce::Result::fail("Download finished incomplete (" + juce::String(progress, 2) + ")");
    }

    progress = 1.0;
    log_info("Download finished in " + juce::String(loopSeconds, 2) + " seconds ("
             + juce::String(totalMB / loopSeconds, 2) + " MB/s)");
    return juce::Result::ok();
}
