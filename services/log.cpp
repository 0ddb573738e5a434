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

namespace
{
// A JSON text reshaped for a log line as the formatter writes it: every '"' dropped, the '{' that
// start it and the '}' that end it trimmed, each "\n" escape made a line break (CR LF), blanks
// trimmed at both ends. Only the start is kept, the rest counted, so a reply that the formatter
// makes tens of megabytes of indented lines costs no more memory than its log line, and a pass as
// fast as the formatter's own.
class LogTextWriter : public juce::OutputStream
{
public:
    bool write(const void* data, size_t size) override
    {
        for (const auto* c = static_cast<const char*>(data); size-- > 0; ++c)
            take(*c);
        return true;
    }

    bool writeRepeatedByte(juce::uint8 byte, size_t count) override
    {
        // The indents: counted as a run once the kept start is full.
        for (; count > 0 && ! (byte == ' ' && full() && ! pendingBackslash && state == State::text); --count)
            take((char) byte);
        if (count > 0)
        {
            if (trailingBraces > 0)
                trailingBraces = trailingBlanks = 0;
            trailingBlanks += count;
            length += count;
        }
        return true;
    }

    juce::int64 getPosition() override { return 0; }
    bool setPosition(juce::int64) override { return false; }
    void flush() override {}

    // The reshaped text as it goes into the log line.
    juce::String text_for_log()
    {
        if (pendingBackslash)
            put('\\');
        pendingBackslash = false;
        const auto trimmed = length - trailingBraces - trailingBlanks;
        kept.setSize(juce::jmin(kept.getSize(), trimmed));
        return reply_text_for_log(kept.toString(), trimmed);
    }

private:
    enum class State { braces, blanks, text };

    bool full() const { return kept.getSize() > (size_t) maxLoggedReplyBytes; }

    // One byte of the formatter's text, which is ASCII: it writes every other character escaped.
    void take(char c)
    {
        if (c == '"')
            return;
        if (pendingBackslash)
        {
            pendingBackslash = false;
            if (c == 'n')
            {
                put('\r');
                put('\n');
                return;
            }
            put('\\');
        }
        if (c == '\\')
            pendingBackslash = true;
        else
            put(c);
    }

    void put(char c)
    {
        if (state == State::braces && c == '{')
            return;
        const bool blank = juce::CharacterFunctions::isWhitespace(c);
        if (state != State::text && blank)
        {
            state = State::blanks;
            return;
        }
        state = State::text;

        if (! full())
            kept.append(&c, 1);
        ++length;
        // The end trimmed as the text was: first the '}' that end it, then the blanks before them.
        if (c == '}')
            ++trailingBraces;
        else if (blank)
        {
            if (trailingBraces > 0)
                trailingBraces = trailingBlanks = 0;
            ++trailingBlanks;
        }
        else
            trailingBraces = trailingBlanks = 0;
    }

    State state = State::braces;
    bool pendingBackslash = false;
    juce::MemoryBlock kept;
    size_t length = 0, trailingBraces = 0, trailingBlanks = 0;
};
} // namespace

void log_json(const juce::var& value)
{
    LogTextWriter text;
    juce::JSON::writeToStream(text, value);
    log_line("[INFO]: " + text.text_for_log(), false);
}
