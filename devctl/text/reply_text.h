// The small pieces every text command builds its reply and reads its line with.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// An error line that points to HELP: error (from "[ERROR]" to its full stop), then
// " Type "HELP" for more reference." and CR LF.
std::string HelpErrorLine(std::string_view error);

// HelpErrorLine of "[ERROR]<what> param out of range.".
std::string RangeErrorLine(std::string_view what);

// Appends RangeErrorLine(what) to reply; false, the answer of a refused command.
bool RefuseRange(std::string_view what, std::string& reply);

// The words of the report tables: "On" / "Yes" for 1, "Off" / "No" for anything else.
const char* OnOff(int value);
const char* YesNo(int value);

// True when text begins with word.
bool BeginsWith(std::string_view text, std::string_view word);

// The text of a condensed line after prefix, up to the first CR or LF, at most limit characters
// (longer text is cut). Empty when the line does not begin with prefix.
std::string TextAfter(const char* line, const char* prefix, size_t limit);
