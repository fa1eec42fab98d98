// Checks and cuts of the names the control protocols store (channel and preset names). A name goes
// into a fixed field and out to every control port and into the status documents, so it must not
// carry line ends, terminal controls or broken UTF-8 sequences.
#pragma once

#include <cstddef>
#include <string>

// True when text is valid UTF-8 without control characters (below 0x20, and 0x7F).
bool IsCleanName(const std::string& text);

// text with every byte that starts no valid UTF-8 sequence (a stray continuation byte, a cut or
// overlong sequence, a surrogate, a code point above U+10FFFF) replaced by U+FFFD; valid text
// comes back as it is. For names read from a file, which no setter checked.
std::string WithValidUtf8(const std::string& text);

// The longest start of text of at most max_bytes bytes that does not end inside a UTF-8
// sequence. text is expected to be valid UTF-8.
std::string CutAtCharacter(const std::string& text, size_t max_bytes);
