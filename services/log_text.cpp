#include "services/log_text.h"

#include <cstring>

#include "services/reply_limits.h"
#include "services/utf8_text.h"

juce::String shown_in_log(const char* bytes, size_t size)
{
    const auto shown = shown_as_text(bytes, size);
    const auto* text = shown.toRawUTF8();
    const auto length = std::strlen(text);
    if (length <= (size_t) maxLoggedReplyBytes)
        return shown;

    // An escape the limit would cut in two goes whole; a "\x" the text held itself may go with
    // it, which only costs a few bytes of the line.
    auto limit = (size_t) maxLoggedReplyBytes;
    for (size_t back = 1; back <= 3; ++back)
        if (text[limit - back] == '\\' && text[limit - back + 1] == 'x')
        {
            limit -= back;
            break;
        }
    return reply_text_for_log(shown, length, (int) limit);
}

juce::String shown_in_log(const juce::String& text)
{
    const auto* bytes = text.toRawUTF8();
    return shown_in_log(bytes, std::strlen(bytes));
}
