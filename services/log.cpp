#include "services/log.h"

#include <iostream>

#include "services/reply_limits.h"

void log_line(const juce::String& text, bool isError)
{
    const auto line = juce::Time::getCurrentTime().formatted("%H:%M:%S ") + text;
    auto& stream = isError ? std::cerr : std::cout;
    stream << line.toRawUTF8();
    stream << "\n";
    juce::Logger::writeToLog(line);
}

void log_info(const juce::String& message)
{
    log_line("[INFO]: " + message, false);
}

void log_error(const juce::String& message)
{
    log_line("[ERROR]: " + message, true);
}

double megabytes(juce::int64 bytes)
{
    return (double) bytes / 1024.0 / 1024.0;
}

void log_json(const juce::var& value)
{
    const auto json = juce::JSON::toString(value).removeCharacters("\"").trimCharactersAtStart("{").trimCharactersAtEnd("}");

    // Each "\n" escape becomes a line break (CR LF) in one pass over the bytes: a replace per match
    // would copy the whole text for each, minutes for a reply of many line breaks.
    const auto* utf8 = json.toRawUTF8();
    const auto size = json.getNumBytesAsUTF8();
    juce::MemoryOutputStream text(size + 1);
    size_t copied = 0;
    for (size_t i = 0; i + 1 < size; ++i)
        if (utf8[i] == '\\' && utf8[i + 1] == 'n')
        {
            text.write(utf8 + copied, i - copied);
            text.write("\r\n", 2);
            copied = ++i + 1;
        }
    text.write(utf8 + copied, size - copied);

    log_line("[INFO]: " + reply_text_for_log(text.toUTF8().trimStart().trimEnd()), false);
}
