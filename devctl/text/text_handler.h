// The signature every text command handler has: the descriptor the line came from, the condensed
// line (NUL-terminated, upper-cased up to and including the first "NAME") and its length, and the
// reply to append to. The result is not used by the dispatcher.
#pragma once

#include <string>

using TextHandler = bool (*)(int fd, char* line, int len, std::string& reply);
