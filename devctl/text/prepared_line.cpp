#include "devctl/text/prepared_line.h"

#include <cctype>
#include <cstring>

#include "devctl/text/line_text.h"

bool PreparedLine::Begins(const char* keyword) const {
  return std::strncmp(condensed, keyword, std::strlen(keyword)) == 0;
}

bool PreparedLine::Has(const char* keyword) const {
  return std::strstr(condensed, keyword) != nullptr;
}

bool PreparedLine::ScopeHas(const char* keyword) const {
  return scope.find(keyword) != std::string::npos;
}

bool PreparedLine::RawHas(const char* keyword) const {
  return raw.find(keyword) != std::string_view::npos;
}

bool PreparedLine::HasAfter(const char* keyword, const char* then) const {
  const char* at = std::strstr(condensed, keyword);
  return at != nullptr && std::strstr(at + std::strlen(keyword), then) != nullptr;
}

bool PrepareLine(char* line, int len, PreparedLine* p) {
  p->count = StripSpaces(line, len, p->condensed, PreparedLine::kSize - 1);
  if (p->count < 0) return false;
  for (int i = 0; i < len; ++i) {
    line[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[i])));
  }
  p->raw = std::string_view(line, len > 0 ? static_cast<size_t>(len) : 0);
  char upper[PreparedLine::kSize] = {};
  for (int i = 0; i < p->count; ++i) {
    upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(p->condensed[i])));
  }
  // Names keep the case they were typed in: only the text up to the first NAME is upper-cased.
  const char* name = std::strstr(upper, "NAME");
  const int upper_to = name ? static_cast<int>(name - upper) + 4 : p->count;
  std::memcpy(p->condensed, upper, upper_to);
  p->scope.assign(upper, name ? static_cast<size_t>(name - upper) : static_cast<size_t>(p->count));
  return true;
}
