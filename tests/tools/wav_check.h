// Reading back trecord's WAV files in the tests: the exact header the file must start with, the
// frames the stand-in engine's receive pattern gives, and what sox makes of the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/engine/StandInEngine.h"

namespace tools_test {

inline void appendLe(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The 44 header bytes of a PCM WAV file.
inline std::string expectedWavHeader(unsigned channels, unsigned bits, unsigned rate,
                                     uint64_t dataBytes) {
  std::string h = "RIFF";
  appendLe(h, dataBytes + 36, 4);
  h += "WAVEfmt ";
  appendLe(h, 16, 4);
  appendLe(h, 1, 2);
  appendLe(h, channels, 2);
  appendLe(h, rate, 4);
  appendLe(h, uint64_t{rate} * channels * bits / 8, 4);
  appendLe(h, channels * bits / 8, 2);
  appendLe(h, bits, 2);
  h += "data";
  appendLe(h, dataBytes, 4);
  return h;
}

// Frames of the engine's receive pattern from absolute sample `first`: per frame, per channel,
// the low bits/8 bytes of the ring sample, least significant first.
inline std::string expectedPatternFrames(unsigned channels, unsigned bits, uint64_t first,
                                         uint64_t frames) {
  std::string out;
  for (uint64_t a = first; a < first + frames; ++a) {
    for (unsigned ch = 0; ch < channels; ++ch) {
      appendLe(out, static_cast<uint32_t>(sim::StandInEngine::rxPattern(ch, a)), bits / 8);
    }
  }
  return out;
}

// `sox --i <flag> path`, trimmed ("" when sox fails).
inline std::string soxInfo(const std::string& path, const std::string& flag) {
  std::string command = "sox --i " + flag + " '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  std::string out;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  if (pclose(pipe) != 0) return "";
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

}  // namespace tools_test
