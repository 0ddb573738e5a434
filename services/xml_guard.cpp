#include "services/xml_guard.h"

namespace
{
using Pointer = juce::String::CharPointerType;

bool is_identifier_char(juce::juce_wchar c)
{
    // The parser's own test: below 160 only ASCII letters, digits and _-:., above any letter or
    // digit as well.
    if (c < 160)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
               || c == ':' || c == '.';
    return juce::CharacterFunctions::isLetterOrDigit(c) || c == '_' || c == '-' || c == ':' || c == '.';
}

Pointer end_of_token(Pointer p)
{
    while (is_identifier_char(*p))
        ++p;
    return p;
}

// Whether the reference at `p` (just after its '&') is one the parser reads as exactly itself and
// turns into one character: a predefined entity or a character reference to a Unicode scalar
// value other than NUL. Anything else it would look up in the DTD, or read past.
bool is_plain_reference(Pointer p)
{
    for (const char* name : { "amp;", "quot;", "apos;", "lt;", "gt;" })
        if (p.compareIgnoreCaseUpTo(juce::CharPointer_ASCII(name), (int) strlen(name)) == 0)
            return true;
    if (*p++ != '#')
        return false;

    const bool hex = *p == 'x' || *p == 'X';
    if (hex)
        ++p;
    juce::int64 value = 0;
    int digits = 0;
    for (; *p != ';'; ++p)
    {
        const auto digit = hex ? juce::CharacterFunctions::getHexDigitValue(*p) : (int) (*p) - '0';
        if (digit < 0 || digit > (hex ? 15 : 9) || ++digits > 8)
            return false;
        value = value * (hex ? 16 : 10) + digit;
    }
    return digits > 0 && value > 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

// juce::XmlDocument's reading of a document, step for step, with a depth count in place of its
// recursion and without building anything. Entities are not followed: every '&' has been checked
// to start a plain reference, which the parser reads as one character, never as markup.
struct ParseMirror
{
    Pointer input;
    bool outOfData = false;

    enum class Element { none, leaf, open };

    juce::juce_wchar read_next_char()
    {
        const auto c = input.getAndAdvance();
        if (c == 0)
        {
            outOfData = true;
            --input;
        }
        return c;
    }

    void skip_next_white_space()
    {
        for (;;)
        {
            input.incrementToEndOfWhitespace();
            if (input.isEmpty())
            {
                outOfData = true;
                return;
            }
            if (*input != '<')
                return;

            const char* close = nullptr;
            if (input[1] == '!' && input[2] == '-' && input[3] == '-')
                input += 4, close = "-->";
            else if (input[1] == '?')
                input += 2, close = "?>";
            else
                return;

            const auto end = input.indexOf(juce::CharPointer_ASCII(close));
            if (end < 0)
            {
                outOfData = true;
                return;
            }
            input += end + (int) strlen(close);
        }
    }

    void read_entity()
    {
        ++input;
        for (const char* name : { "amp;", "quot;", "apos;", "lt;", "gt;" })
            if (input.compareIgnoreCaseUpTo(juce::CharPointer_ASCII(name), (int) strlen(name)) == 0)
            {
                input += (int) strlen(name);
                return;
            }
        input += input.indexOf((juce::juce_wchar) ';') + 1;  // a checked character reference
    }

    void read_quoted_string()
    {
        const auto quote = read_next_char();
        while (! outOfData)
        {
            const auto c = read_next_char();
            if (c == quote)
                break;
            --input;
            if (c == '&')
            {
                read_entity();
                continue;
            }
            for (;;)
            {
                const auto character = *input;
                if (character == quote)
                {
                    ++input;
                    return;
                }
                if (character == '&')
                    break;
                if (character == 0)
                {
                    outOfData = true;
                    break;
                }
                ++input;
            }
        }
    }

    // XmlDocument::readNextElement up to its call of readChildElements: `open` where it makes that
    // call, `leaf` where it returns an element without, `none` where it returns nothing.
    Element read_element_start()
    {
        skip_next_white_space();
        if (outOfData || *input != '<')
            return Element::none;

        ++input;
        auto end = end_of_token(input);
        if (end == input)
        {
            skip_next_white_space();
            end = end_of_token(input);
            if (end == input)
                return Element::none;
        }
        input = end;

        for (;;)
        {
            skip_next_white_space();
            const auto c = *input;
            if (c == '/' && input[1] == '>')
            {
                input += 2;
                return Element::leaf;
            }
            if (c == '>')
            {
                ++input;
                return Element::open;
            }
            if (! is_identifier_char(c))
                return Element::leaf;

            input = end_of_token(input);
            skip_next_white_space();
            if (read_next_char() != '=')
                return Element::leaf;
            skip_next_white_space();
            if (*input != '"' && *input != '\'')
                return Element::leaf;
            read_quoted_string();
        }
    }

    // One character block of XmlDocument::readChildElements; false where that function returns.
    bool read_character_block()
    {
        for (;;)
        {
            const auto c = *input;
            if (c == '<')
            {
                if (! (input[1] == '!' && input[2] == '-' && input[3] == '-'))
                    return true;
                input += 4;
                const auto close = input.indexOf(juce::CharPointer_ASCII("-->"));
                if (close < 0)
                {
                    outOfData = true;
                    return false;
                }
                input += close + 3;
                continue;
            }
            if (c == 0)
            {
                outOfData = true;
                return false;
            }
            if (c == '&')
            {
                read_entity();
                continue;
            }
            for (;; ++input)
            {
                const auto next = *input;
                if (next == '<' || next == '&')
                    break;
                if (next == 0)
                {
                    outOfData = true;
                    return false;
                }
            }
        }
    }

    static constexpr int never_ends = -1;

    // The deepest nesting of readChildElements the parse reaches, stopping once past `limit`, or
    // never_ends where the parse would loop for good.
    int deepest_nesting(int limit)
    {
        if (read_element_start() != Element::open)
            return 0;

        int depth = 1, deepest = 1;
        while (depth > 0 && deepest <= limit)
        {
            const auto before = input;
            skip_next_white_space();
            if (outOfData)
            {
                --depth;
                continue;
            }

            if (*input != '<')
            {
                // Text after a processing instruction: the parser goes back to the instruction,
                // reads no text there, and skips it again, for good.
                input = before;
                if (! read_character_block())
                    --depth;
                else if (input == before)
                    return never_ends;
                continue;
            }

            if (input[1] == '/')
            {
                const auto close = input.indexOf((juce::juce_wchar) '>');
                if (close >= 0)
                    input += close + 1;
                --depth;
                continue;
            }

            if (input[1] == '!' && (input + 2).compareUpTo(juce::CharPointer_ASCII("[CDATA["), 7) == 0)
            {
                input += 9;
                const auto close = input.indexOf(juce::CharPointer_ASCII("]]>"));
                if (close < 0)
                {
                    outOfData = true;
                    input += (int) input.length();
                }
                else
                    input += close + 3;
                continue;
            }

            switch (read_element_start())
            {
                case Element::none: --depth; break;
                case Element::leaf: break;
                case Element::open: deepest = juce::jmax(deepest, ++depth); break;
            }
        }
        return deepest;
    }
};
} // namespace

juce::String xml_refusal(const juce::String& text, int maxDepth)
{
    ParseMirror mirror { text.getCharPointer() };

    // What the parser does before the document element: comments, processing instructions and
    // the header are skipped, then a DTD is read if one starts there.
    mirror.skip_next_white_space();
    if (mirror.input.compareUpTo(juce::CharPointer_ASCII("<?xml"), 5) == 0)
        return {};  // a header without its end: the parse fails here
    if (mirror.input.compareUpTo(juce::CharPointer_ASCII("<!DOCTYPE"), 9) == 0)
        return "a DTD";
    if (*mirror.input != '<')
        return {};  // no element: the parse reads nothing more

    for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
        if (*p == '&' && ! is_plain_reference(p + 1))
            return "an entity reference other than &amp; &lt; &gt; &quot; &apos; or a character reference";

    const auto deepest = mirror.deepest_nesting(maxDepth);
    if (deepest == ParseMirror::never_ends)
        return "a processing instruction before text inside an element, which the XML reader never gets past";
    if (deepest > maxDepth)
        return "elements nested deeper than " + juce::String(maxDepth) + " levels";
    return {};
}
