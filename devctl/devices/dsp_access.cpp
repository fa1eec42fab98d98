#include "devctl/devices/dsp_access.h"

#include <cmath>
#include <cstdio>

#include "platform/clock.h"

const uint32_t g_dsp_biquad_addr[2][kDspChannelCount] = {
    {0x18D, 0x1B5, 0x1DD, 0x205, 0x204, 0x22C, 0x254, 0x27C, 0x2A4, 0x2CC, 0x2F4, 0x31C, 0x13D,
     0x165},
    {0x1A2F, 0x1A57, 0x1A7F, 0x1AA7, 0x8C, 0xB4, 0xDC, 0x104, 0x12C, 0x154, 0x17C, 0x1A4, 0x1ACF,
     0x1AF7},
};

double Fixed824ToDouble(const uint8_t word[4]) {
  uint32_t v = uint32_t(word[0]) << 24 | uint32_t(word[1]) << 16 | uint32_t(word[2]) << 8 | word[3];
  return v / 16777216.0;
}

void DoubleToFixed824(uint8_t* buf, int i, double v) {
  // The words are signed 8.24: [-128, 128 - 2^-24]. A corrupt stored value must not wrap into a
  // word of the opposite sign.
  int64_t fixed;
  if (std::isnan(v)) {
    fixed = 0;
  } else if (v >= 128.0) {
    fixed = INT32_MAX;
  } else if (v <= -128.0) {
    fixed = INT32_MIN;
  } else {
    fixed = static_cast<int64_t>(v * 16777216.0);
  }
  uint32_t u = static_cast<uint32_t>(fixed);
  uint8_t* p = buf + 4 * i;
  p[0] = uint8_t(u >> 24);
  p[1] = uint8_t(u >> 16);
  p[2] = uint8_t(u >> 8);
  p[3] = uint8_t(u);
}

void DspBlockWrite(uint8_t address8, uint16_t reg, int32_t len, const uint8_t* data) {
  if (len >= 1 && data != nullptr) {
    for (int32_t off = 0, k = 0; off < len; off += kDspChunkBytes, ++k) {
      int32_t n = len - off < kDspChunkBytes ? len - off : kDspChunkBytes;
      I2cBus3Write16(address8, static_cast<uint16_t>(reg + 15 * k), data + off, uint32_t(n));
    }
  }
  platform::clock().SleepUs(5);
}

int DspWriteWord(uint8_t address8, uint16_t reg, uint32_t value) {
  const uint8_t w[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8),
                        uint8_t(value)};
  return I2cBus3Write16(address8, reg, w, 4);
}

int DspReadWord(uint8_t address8, uint16_t reg, uint8_t out[4]) {
  return I2cBus3Read16(address8, reg, out);
}

void DspDelay5ms() { platform::clock().SleepUs(5000); }

std::mutex& DspSafeloadMutex(uint8_t address8) {
  static std::mutex dsp_a;
  static std::mutex dsp_b;
  return address8 == kDspBAddress8 ? dsp_b : dsp_a;
}

void DspSafeloadWord(uint8_t address8, uint16_t cell, uint32_t word) {
  const uint8_t data[4] = {uint8_t(word >> 24), uint8_t(word >> 16), uint8_t(word >> 8),
                           uint8_t(word)};
  std::lock_guard<std::mutex> lock(DspSafeloadMutex(address8));
  DspBlockWrite(address8, kDspSafeloadData, 4, data);
  DspWriteWord(address8, kDspSafeloadTarget, cell);
  DspWriteWord(address8, kDspSafeloadCount, 1);
}

void DspSafeloadBiquad(uint32_t direction, uint32_t channel, uint8_t band,
                       const uint8_t coefficients[20]) {
  if (direction > 1 || channel >= uint32_t(kDspChannelCount) || band >= kDspBands) {
    std::printf("biquad safeload refused: direction %u channel %u band %u\n", direction, channel,
                unsigned(band));
    std::fflush(stdout);
    return;
  }
  uint8_t address8 = DspAddressForChannel(int(channel));
  uint32_t target = g_dsp_biquad_addr[direction][channel] + 5u * band;
  std::lock_guard<std::mutex> lock(DspSafeloadMutex(address8));
  DspBlockWrite(address8, kDspSafeloadData, 20, coefficients);
  DspWriteWord(address8, kDspSafeloadTarget, target);
  DspWriteWord(address8, kDspSafeloadCount, 5);
}
