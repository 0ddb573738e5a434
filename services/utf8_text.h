#pragma once

#include <cstddef>

#include <juce_core/juce_core.h>

// Bytes that come from outside (a file, the OS's path of the executable) become a juce::String
// only when they are text: the framework takes UTF-8 on trust, and an overlong or broken sequence
// makes its byte and character counts disagree.

// Whether the bytes are well-formed UTF-8 (no overlong form, no surrogate, nothing above
// U+10FFFF) without a NUL.
bool is_utf8_text(const char* bytes, size_t size);

// Bytes read from a file as text: UTF-16 after its byte order mark (a lone surrogate becomes
// U+FFFD), otherwise UTF-8 after an optional byte order mark when they are UTF-8, otherwise
// Windows-1252, one character per byte, as an editor may have saved them. A NUL ends the text, as
// it ends the framework's own reading of such bytes. The result is always valid UTF-8.
juce::String text_from_bytes(const char* bytes, size_t size);

// The bytes with every byte that is not part of well-formed UTF-8, and every byte of a control
// character (C0 controls such as CR, LF, TAB and ESC, DEL, and the C1 controls U+0080-U+009F),
// written as "\xHH", for a log line that names them. A backslash stays as it is, so a Windows path
// reads as it always did; a name that holds "\x" itself reads like an escape.
juce::String shown_as_text(const char* bytes, size_t size);
