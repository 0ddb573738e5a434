#include "services/web_address.h"

bool is_web_address(const juce::String& address)
{
    return address.startsWithIgnoreCase("http://") || address.startsWithIgnoreCase("https://");
}

juce::String path_segment(const juce::String& text)
{
    if (text == "." || text == "..")
        return text.replace(".", "%2E");

    static const char* const hex = "0123456789ABCDEF";
    juce::String escaped;
    for (const auto* c = text.toRawUTF8(); *c != 0; ++c)
    {
        const auto byte = (unsigned char) *c;
        const bool unreserved = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z')
                                || (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_'
                                || byte == '~';
        if (unreserved)
            escaped += (char) byte;
        else
            escaped << '%' << hex[byte >> 4] << hex[byte & 15];
    }
    return escaped;
}

namespace
{
// RFC 3986 scheme: a letter, then letters, digits, "+", "-" or ".", then ":".
bool has_scheme(const juce::String& reference)
{
    const auto colon = reference.indexOfChar(':');
    if (colon <= 0 || ! juce::CharacterFunctions::isLetter(reference[0]))
        return false;
    return reference.substring(0, colon).containsOnly(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.");
}

// Where the part of `address` that starts with one of `ends` begins, searched from `from`.
int first_of(const juce::String& address, int from, const char* ends)
{
    const auto at = address.indexOfAnyOf(ends, from);
    return at < 0 ? address.length() : at;
}
} // namespace

juce::String redirect_target(const juce::String& address, const juce::String& location)
{
    if (has_scheme(location))
        return location;

    const auto schemeEnd = address.indexOfChar(':') + 1;
    if (location.startsWith("//"))
        return address.substring(0, schemeEnd) + location;

    const auto pathStart = first_of(address, address.substring(schemeEnd).startsWith("//") ? schemeEnd + 2 : schemeEnd, "/?#");
    const auto queryStart = first_of(address, pathStart, "?#");
    if (location.startsWithChar('/'))
        return address.substring(0, pathStart) + location;
    if (location.isEmpty() || location.startsWithChar('#'))
        return address.substring(0, first_of(address, pathStart, "#"));
    if (location.startsWithChar('?'))
        return address.substring(0, queryStart) + location;

    // Relative to the current folder: the path up to its last "/", or "/" when it has none.
    const auto folderEnd = address.substring(pathStart, queryStart).lastIndexOfChar('/');
    if (folderEnd < 0)
        return address.substring(0, pathStart) + "/" + location;
    return address.substring(0, pathStart + folderEnd + 1) + location;
}

bool is_redirect_status(int statusCode)
{
    return statusCode == 301 || statusCode == 302 || statusCode == 303 || statusCode == 307 || statusCode == 308;
}
