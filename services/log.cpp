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
    const auto text = juce::JSON::toString(value)
                          .removeCharacters("\"")
                          .trimCharactersAtStart("{")
                          .trimCharactersAtEnd("}")
                          .replace("\\n", "\r\n")
                          .trimStart()
                          .trimEnd();
    log_line("[INFO]: " + reply_text_for_log(text), false);
}
