#include "devctl/text/reply_text.h"

#include <cstring>

std::string HelpErrorLine(std::string_view error) {
  std::string line(error);
  line += " Type \"HELP\" for more reference.\r\n";
  return line;
}

std::string RangeErrorLine(std::string_view what) {
  std::string error = "[ERROR]";
  error += what;
  error += " param out of range.";
  return HelpErrorLine(error);
}

bool RefuseRange(std::string_view what, std::string& reply) {
  reply += RangeErrorLine(what);
  return false;
}

const char* OnOff(int value) { return value == 1 ? "On" : "Off"; }

const char* YesNo(int value) { return value == 1 ? "Yes" : "No"; }

bool BeginsWith(std::string_view text, std::string_view word) {
  return text.substr(0, word.size()) == word;
}

std::string TextAfter(const char* line, const char* prefix, size_t limit) {
  if (!BeginsWith(line, prefix)) return "";
  const char* text = line + std::strlen(prefix);
  const size_t n = std::strcspn(text, "\r\n");
  return std::string(text, n < limit ? n : limit);
}
