#include "services/json_walk.h"

#include <vector>

namespace
{
// juce::JSONParser step for step, with its call stack made an explicit list of open containers.
// It reads with the same character pointer and helpers, so whitespace, UTF-8 and numbers end
// exactly where the parser's do, and it stops where the parser throws.
class JsonWalker
{
public:
    JsonWalker(const juce::String& json, int stopAtDepth) : at(json.getCharPointer()), limit(stopAtDepth) {}

    JsonWalk walk()
    {
        skip_whitespace();
        const bool outerObject = match('{');
        if (! (outerObject || match('[')) || ! open(outerObject))
            return result;

        bool afterValue = false;
        while (! inObject.empty())
        {
            const bool object = inObject.back();
            if (afterValue)
            {
                // A value has ended inside the innermost container.
                skip_whitespace();
                if (match(','))
                    afterValue = false;
                else if (! match(object ? '}' : ']'))
                    return result;
                else
                    inObject.pop_back();
                continue;
            }

            skip_whitespace();
            if (object)
            {
                const auto c = next();
                if (c == '}')
                {
                    inObject.pop_back();
                    afterValue = true;
                    continue;
                }
                bool named = false;
                if (c != '"' || ! skip_string('"', named) || ! named)
                    return result;
                skip_whitespace();
                if (next() != ':')
                    return result;
            }
            else
            {
                if (match(']'))
                {
                    inObject.pop_back();
                    afterValue = true;
                    continue;
                }
                if (*at == 0)
                    return result;
            }

            const auto opened = value();
            if (result.readsPastEnd || opened < 0 || (opened > 0 && ! open(opened == 2)))
                return result;
            afterValue = opened == 0;
        }
        return result;
    }

private:
    void skip_whitespace() { at = at.findEndOfWhitespace(); }
    juce::juce_wchar next() { return at.getAndAdvance(); }
    bool match(char c)
    {
        if (*at != (juce::juce_wchar) c)
            return false;
        ++at;
        return true;
    }

    // False once deeper than the limit: no need to walk further.
    bool open(bool object)
    {
        inObject.push_back(object);
        result.deepest = juce::jmax(result.deepest, (int) inObject.size());
        return result.deepest <= limit;
    }

    // The parser's parseAny: 0 a whole value, 1 an array opened, 2 an object opened, -1 an error.
    int value()
    {
        skip_whitespace();
        const auto start = at;
        bool named = false;
        switch (next())
        {
            case '{': return 2;
            case '[': return 1;
            case '"': return skip_string('"', named) ? 0 : -1;
            case '\'': return skip_string('\'', named) ? 0 : -1;
            case '-': skip_whitespace(); return skip_number() ? 0 : -1;
            case '0': case '1': case '2': case '3': case '4':
            case '5': case '6': case '7': case '8': case '9': at = start; return skip_number() ? 0 : -1;
            case 't': return match_text("rue") ? 0 : -1;
            case 'f': return match_text("alse") ? 0 : -1;
            case 'n': return match_text("ull") ? 0 : -1;
            default: return -1;
        }
    }

    bool match_text(const char* text)
    {
        while (*text != 0)
            if (! match(*text++))
                return false;
        return true;
    }

    // The parser's parseString after the opening quote; `named` says whether it held anything.
    bool skip_string(juce::juce_wchar quote, bool& named)
    {
        for (;;)
        {
            auto c = next();
            if (c == quote)
                return true;
            if (c == '\\')
            {
                c = next();
                if (c == 'u')
                {
                    c = 0;
                    for (int i = 0; i < 4; ++i)
                    {
                        const auto digit = juce::CharacterFunctions::getHexDigitValue(next());
                        if (digit < 0)
                            return false;
                        c = (juce::juce_wchar) ((c << 4) + (juce::juce_wchar) digit);
                    }
                }
            }
            if (c == 0)
                return false;
            named = true;
        }
    }

    // The parser's parseNumber: its first character is taken as a digit unchecked.
    bool skip_number()
    {
        const auto start = at;
        if (next() == 0)
        {
            result.readsPastEnd = true;
            return false;
        }
        for (;;)
        {
            const auto last = at;
            const auto c = next();
            if (c >= '0' && c <= '9')
                continue;
            if (c == 'e' || c == 'E' || c == '.')
            {
                at = start;
                juce::CharacterFunctions::readDoubleValue(at);
                return true;
            }
            if (juce::CharacterFunctions::isWhitespace(c) || c == ',' || c == '}' || c == ']' || c == 0)
            {
                at = last;
                return true;
            }
            return false;
        }
    }

    juce::String::CharPointerType at;
    const int limit;
    std::vector<bool> inObject; // the open containers, innermost last
    JsonWalk result;
};
} // namespace

JsonWalk walk_json(const juce::String& json, int stopAtDepth)
{
    return JsonWalker(json, stopAtDepth).walk();
}
