// Which command a condensed line names: the keyword tests of the text protocol, in their fixed
// order (first match wins). The routes themselves are in text_commands.h.
#pragma once

#include "devctl/text/text_commands.h"

// The route of a condensed line, or nullptr when no test matches. raw_upper is the received line
// upper-cased with its blanks (raw_len bytes, not NUL-terminated), for the "GAIN " test.
const TextRoute* FindTextRoute(const char* condensed, const char* raw_upper, int raw_len);
