#include "devctl/core/json_numbers.h"

#include <charconv>
#include <cmath>

namespace {

template <typename T>
void AppendChars(std::string& out, T value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  out.append(text, end);
}

// The float a reader gets from text: strtod, as cJSON parses, then rounded to float.
bool ReadsBackAs(const char* first, const char* last, float value) {
  double read = 0;
  const auto r = std::from_chars(first, last, read);
  return r.ec == std::errc() && r.ptr == last && static_cast<float>(read) == value;
}

template <typename T>
std::string NumberArray(const T* values, int count) {
  std::string text = "[";
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += ", ";
    AppendJsonNumber(text, values[i]);
  }
  text += ']';
  return text;
}

}  // namespace

void AppendJsonNumber(std::string& out, int value) { AppendChars(out, value); }

void AppendJsonNumber(std::string& out, uint32_t value) { AppendChars(out, value); }

void AppendJsonNumber(std::string& out, float value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  if (value == 0.0f && std::signbit(value)) {
    out += "-0";  // keeps its sign, as cJSON writes it
    return;
  }
  const double whole = std::trunc(double(value));
  if (whole == double(value) && whole >= -2147483648.0 && whole <= 2147483647.0) {
    AppendChars(out, static_cast<int>(whole));
    return;
  }
  char text[64];
  auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general).ptr;
  // The shortest text is exact for a float reader; read as a double and then rounded it may in
  // rare cases land on the neighbouring float. The float's own double value always reads back.
  if (!ReadsBackAs(text, end, value)) {
    end = std::to_chars(text, text + sizeof text, double(value), std::chars_format::general).ptr;
  }
  out.append(text, end);
}

std::string JsonNumberArray(const int* values, int count) { return NumberArray(values, count); }

std::string JsonNumberArray(const float* values, int count) { return NumberArray(values, count); }
