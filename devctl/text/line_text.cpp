#include "devctl/text/line_text.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

void ApplyBackspaces(char* line, int* len) {
  int n = *len;
  int i = 0;
  while (i < n) {
    if (line[i] != 0x7F) {
      ++i;
      continue;
    }
    const int from = i == 0 ? 0 : i - 1;
    const int removed = i - from + 1;
    std::memmove(line + from, line + i + 1, n - i - 1);
    n -= removed;
    i = from;
  }
  *len = n;
}

int StripSpaces(const char* in, int len, char* out, int out_size) {
  int count = 0;
  for (int i = 0; i < len; ++i) {
    if (in[i] == ' ' || in[i] == '\0') continue;
    if (count >= out_size) return -1;
    out[count++] = in[i];
  }
  return count;
}

int GetLineEnd(const char* line, int len) {
  if (len < 1) return 0;
  if (len >= 2 && line[len - 2] == '\r' && line[len - 1] == '\n') return 2;
  if (line[len - 1] == '\r' || line[len - 1] == '\n') return 1;
  return 0;
}

namespace {

// Reads [+-]digits at *p; saturates instead of overflowing.
bool ScanInt(const char*& p, int* value) {
  const char* s = p;
  while (*s == ' ' || *s == '\t') ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
  long long v = 0;
  bool saturated = false;
  while (std::isdigit(static_cast<unsigned char>(*s))) {
    if (!saturated) {
      v = v * 10 + (*s - '0');
      if (v > static_cast<long long>(INT_MAX) + 1) saturated = true;
    }
    ++s;
  }
  if (saturated)
    *value = negative ? INT_MIN : INT_MAX;
  else if (negative)
    *value = static_cast<int>(-v);
  else
    *value = v > INT_MAX ? INT_MAX : static_cast<int>(v);
  p = s;
  return true;
}

// Reads [+-]digits[.digits][e[+-]digits]; only finite values.
bool ScanFloat(const char*& p, float* value) {
  const char* s = p;
  while (*s == ' ' || *s == '\t') ++s;
  std::string text;
  if (*s == '+' || *s == '-') text += *s++;
  bool digits = false;
  while (std::isdigit(static_cast<unsigned char>(*s))) text += *s++, digits = true;
  if (*s == '.') {
    text += *s++;
    while (std::isdigit(static_cast<unsigned char>(*s))) text += *s++, digits = true;
  }
  if (!digits) return false;
  if ((*s == 'e' || *s == 'E') &&
      (std::isdigit(static_cast<unsigned char>(s[1])) ||
       ((s[1] == '+' || s[1] == '-') && std::isdigit(static_cast<unsigned char>(s[2]))))) {
    text += *s++;
    if (*s == '+' || *s == '-') text += *s++;
    while (std::isdigit(static_cast<unsigned char>(*s))) text += *s++;
  }
  const float v = std::strtof(text.c_str(), nullptr);
  if (!std::isfinite(v)) return false;
  *value = v;
  p = s;
  return true;
}

}  // namespace

int ScanText(const char* text, const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  int stored = 0;
  const char* p = text;
  for (const char* f = pattern; *f; ++f) {
    if (f[0] == '%' && f[1] == 'd') {
      int v;
      if (!ScanInt(p, &v)) break;
      *va_arg(args, int*) = v;
      ++stored;
      ++f;
    } else if (f[0] == '%' && f[1] == 'f') {
      float v;
      if (!ScanFloat(p, &v)) break;
      *va_arg(args, float*) = v;
      ++stored;
      ++f;
    } else {
      if (*p != *f) break;
      ++p;
    }
  }
  va_end(args);
  return stored;
}
