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

// Whether the parser's juce_wchar for a character reference makes one Unicode character in a
// string (NUL makes none).
bool is_character(juce::int64 code)
{
    const auto c = (juce::uint32) code;
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// juce::XmlDocument's reading of a document, step for step, with a depth count in place of its
// recursion and without building anything. Without a DTD, an unknown entity is its name, up to the
// next ';' wherever that is; in a character block the parser reads such a name that starts with
// '<' as markup, once (a name holds no ';', so nothing in it is read as markup again).
struct ParseMirror
{
    Pointer input;
    const int limit;
    bool outOfData = false;
    int deepest = 0;
    bool endless = false;       // the parse loops for good
    bool badReference = false;  // a character reference that makes no character or reads past the end
    bool unendedEntity = false;  // an entity reference without its ';'

    bool stopped() const { return deepest > limit || endless || badReference || unendedEntity; }

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

    // XmlDocument::readEntity from the '&'; `unknown` receives what an unknown entity becomes.
    void read_entity(juce::String* unknown = nullptr)
    {
        ++input;
        for (const char* name : { "amp;", "quot;", "apos;", "lt;", "gt;" })
            if (input.compareIgnoreCaseUpTo(juce::CharPointer_ASCII(name), (int) strlen(name)) == 0)
            {
                input += (int) strlen(name);
                return;
            }

        if (*input != '#')
        {
            // Without a ';' the parser reads on from here, and again from each later '&' of a
            // character block: time quadratic in their number.
            const auto semicolon = input.indexOf((juce::juce_wchar) ';');
            if (semicolon < 0)
            {
                unendedEntity = outOfData = true;
                return;
            }
            if (unknown != nullptr)
                *unknown = juce::String(input, (size_t) semicolon);
            input += semicolon + 1;
            return;
        }

        ++input;
        juce::int64 code = 0;
        if (*input == 'x' || *input == 'X')
        {
            ++input;
            for (int digits = 0; *input != ';'; ++input)
            {
                const auto digit = juce::CharacterFunctions::getHexDigitValue(*input);
                if (digit < 0 || ++digits > 8)
                {
                    // The parser steps over the character that ended the digits, even the text's end.
                    if (*input == 0)
                    {
                        badReference = outOfData = true;
                        return;
                    }
                    break;
                }
                code = (code << 4) | digit;
            }
        }
        else if (*input >= '0' && *input <= '9')
        {
            // Every character up to the ';' counts as a digit, at most 12 of them.
            for (int digits = 0;; ++input)
            {
                const auto c = *input;
                if (c == 0)
                    return;
                if (c == ';' || ++digits > 12)
                    break;
                code = code * 10 + ((int) c - '0');
            }
        }
        else
            return;  // the parser keeps the '&'

        ++input;
        badReference = badReference || ! is_character(code);
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

    // One character block of XmlDocument::readChildElements inside `depth` open elements; false
    // where that function returns.
    bool read_character_block(int depth)
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
                juce::String unknown;
                read_entity(&unknown);
                if (unknown.startsWithChar('<') && unknown.length() > 1)
                    read_entity_markup(unknown, depth);
                if (stopped())
                    return false;
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

    // The elements the parser reads from an unknown entity's name, inside `depth` open elements.
    void read_entity_markup(const juce::String& markup, int depth)
    {
        ParseMirror inner { markup.getCharPointer(), limit };
        inner.deepest = deepest;
        for (Element e; ! inner.stopped() && (e = inner.read_element_start()) != Element::none;)
            if (e == Element::open)
                inner.read_children(depth + 1);
        deepest = inner.deepest;
        endless = inner.endless;
        badReference = inner.badReference;
        unendedEntity = inner.unendedEntity;
    }

    // XmlDocument::readChildElements of an element at nesting `level` and all it reads within,
    // until that element ends or the parse is seen to stop.
    void read_children(int level)
    {
        int depth = level;
        deepest = juce::jmax(deepest, depth);
        while (depth >= level && ! stopped())
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
                if (! read_character_block(depth))
                    --depth;
                else if (input == before)
                    endless = true;
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
    }
};
} // namespace

juce::String xml_refusal(const juce::String& text, int maxDepth)
{
    ParseMirror mirror { text.getCharPointer(), maxDepth };

    // What the parser does before the document element: comments, processing instructions and
    // the header are skipped, then a DTD is read if one starts there.
    mirror.skip_next_white_space();
    if (mirror.input.compareUpTo(juce::CharPointer_ASCII("<?xml"), 5) == 0)
        return {};  // a header without its end: the parse fails here
    if (mirror.input.compareUpTo(juce::CharPointer_ASCII("<!DOCTYPE"), 9) == 0)
        return "a DTD";
    if (*mirror.input != '<')
        return {};  // no element: the parse reads nothing more

    if (mirror.read_element_start() == ParseMirror::Element::open)
        mirror.read_children(1);
    if (mirror.badReference)
        return "a character reference to no Unicode character";
    if (mirror.unendedEntity)
        return xml_unended_entity;
    if (mirror.endless)
        return "a processing instruction before text inside an element, which the XML reader never gets past";
    if (mirror.deepest > maxDepth)
        return "elements nested deeper than " + juce::String(maxDepth) + " levels";
    return {};
}
