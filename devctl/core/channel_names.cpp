#include "devctl/core/channel_names.h"

#include <cstring>

#include "devctl/core/limits.h"

namespace {

constexpr size_t kMaxLineLength = 255;

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length in bytes of the UTF-8 sequence that starts with b, or 0 when b cannot start one.
int SequenceLength(unsigned char b) {
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// The longest prefix of at most max bytes that ends on a character boundary.
size_t CutAtCharacter(const std::string& text, size_t max) {
  if (text.size() <= max) return text.size();
  size_t end = max;
  while (end > 0 && IsContinuation(static_cast<unsigned char>(text[end]))) --end;
  return end;
}

std::string ChannelLabel(int side, int n) {
  const char* word = side == EQ_SIDE_OUTPUT ? "output" : "input";
  if (n <= kAnalogueChannels) return std::string("analogue ") + word + " CH" + std::to_string(n);
  if (n <= kFirstUsbChannel) {
    return std::string("tarvo ") + word + " CH" + std::to_string(n - kAnalogueChannels);
  }
  if (n <= kDspChannels) {
    return std::string("USB ") + word + (n == kFirstUsbChannel + 1 ? " left" : " right");
  }
  if (side == EQ_SIDE_OUTPUT) {
    return std::string("output group ") + char('A' + n - kFirstGroupNumber);
  }
  return "input group " + std::to_string(n - kFirstGroupNumber + 1);
}

}  // namespace

bool IsDisplayableName(const std::string& name) {
  for (size_t i = 0; i < name.size();) {
    const unsigned char b = static_cast<unsigned char>(name[i]);
    if (b < 0x20 || b == 0x7F) return false;
    const int length = SequenceLength(b);
    if (length == 0 || i + length > name.size()) return false;
    for (int k = 1; k < length; ++k) {
      if (!IsContinuation(static_cast<unsigned char>(name[i + k]))) return false;
    }
    // Overlong three- and four-byte forms, surrogates and code points above U+10FFFF.
    const unsigned char next = length > 1 ? static_cast<unsigned char>(name[i + 1]) : 0;
    if ((b == 0xE0 && next < 0xA0) || (b == 0xED && next > 0x9F) || (b == 0xF0 && next < 0x90) ||
        (b == 0xF4 && next > 0x8F)) {
      return false;
    }
    i += length;
  }
  return true;
}

bool SetChannelName(app_config_s& config, int side, int n, const std::string& name,
                    std::string& lines) {
  if ((side != EQ_SIDE_INPUT && side != EQ_SIDE_OUTPUT) || n < 1 || n > kChannelSlots) {
    return false;
  }
  char(&field)[kNameSize] =
      side == EQ_SIDE_OUTPUT ? config.output_name[n - 1] : config.input_name[n - 1];
  std::memset(field, 0, sizeof field);
  std::memcpy(field, name.data(), CutAtCharacter(name, kNameSize - 1));
  // The line is formatted into the unit's 256-byte line buffer: a very long name cuts it short.
  const std::string line = "[SUCCESS]Set " + ChannelLabel(side, n) + " name to " + name + ".";
  lines += line.substr(0, CutAtCharacter(line, kMaxLineLength)) + "\r\n";
  return true;
}
