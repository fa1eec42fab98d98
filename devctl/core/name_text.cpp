#include "devctl/core/name_text.h"

namespace {

// Length of the UTF-8 sequence that starts with lead, 0 for a byte no sequence starts with.
int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at text[i], 0 when none starts there.
size_t ValidSequenceAt(const std::string& text, size_t i) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  const int length = SequenceLength(lead);
  if (length == 0 || i + size_t(length) > text.size()) return 0;
  for (int k = 1; k < length; ++k)
    if (!IsContinuation(static_cast<unsigned char>(text[i + size_t(k)]))) return 0;
  if (length > 1) {
    const unsigned char second = static_cast<unsigned char>(text[i + 1]);
    // Overlong forms, surrogates and code points above U+10FFFF.
    if (lead == 0xE0 && second < 0xA0) return 0;
    if (lead == 0xED && second > 0x9F) return 0;
    if (lead == 0xF0 && second < 0x90) return 0;
    if (lead == 0xF4 && second > 0x8F) return 0;
  }
  return size_t(length);
}

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

bool IsCleanName(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x20 || lead == 0x7F) return false;
    const size_t length = ValidSequenceAt(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string WithValidUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t length = ValidSequenceAt(text, i);
    if (length == 0) {
      out += kReplacementCharacter;
      ++i;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

std::string CutAtCharacter(const std::string& text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = max_bytes;
  while (end > 0 && IsContinuation(static_cast<unsigned char>(text[end]))) --end;
  return text.substr(0, end);
}
