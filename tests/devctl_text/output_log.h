// Reads the simulated board's bus traffic back as the output and input changes it carries, in
// order: "vol 3=50" (percent), "mute 3" / "unmute 3", "delay 3=960" (samples), "src 3=5" (the
// DSP's source code), "gain 3", "inmute 3" / "inunmute 3", "eq 3" (one biquad of output or input
// channel 3), "range" (an expander gain range write) and "wait" (a pause of 10 ms or more).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devctl/devices/dsp_biquad.h"
#include "devctl/devices/dsp_channels.h"
#include "platform/sim_i2c.h"
#include "sim/board/board.h"

namespace outtest {

inline std::string VolumePercent(uint32_t word) {
  for (int p = 0; p <= 100; ++p) {
    if (DspOutputVolumeWord(p) == word) return std::to_string(p);
  }
  return "?";
}

inline std::vector<std::string> DspLog() {
  std::vector<std::string> log;
  int64_t last_time = -1;
  uint32_t data[2] = {0, 0};  // last safeload data word per DSP
  for (const auto& t : platform::sim_i2c().Transfers()) {
    if (t.read || t.bytes.size() < 2) continue;
    if (last_time >= 0 && t.time_us - last_time >= 10000) log.push_back("wait");
    last_time = t.time_us;
    if (t.bus == sim::Board::kExpanderBus) {
      if (t.addr7 == 0x18 && t.bytes[0] == 1) log.push_back("range");
      continue;
    }
    if (t.bus != sim::Board::kDspBus || t.bytes.size() < 6) continue;
    const int dsp = t.addr7 == sim::Board::kDspB ? 1 : 0;
    const unsigned address = (unsigned(t.bytes[0]) << 8) | t.bytes[1];
    const uint32_t word = (uint32_t(t.bytes[2]) << 24) | (uint32_t(t.bytes[3]) << 16) |
                          (uint32_t(t.bytes[4]) << 8) | t.bytes[5];
    if (address == sim::SimDsp::kSafeloadData) {
      data[dsp] = word;
      continue;
    }
    if (address != sim::SimDsp::kSafeloadTarget) continue;
    bool known = false;
    for (int c = 0; c < kDspChannels && !known; ++c) {
      const bool on_b = c >= 4 && c < 12;
      const std::string n = std::to_string(c);
      if (word == g_dsp_output_source_addr[c] && dsp == 0) {
        log.push_back("src " + n + "=" + std::to_string(data[dsp]));
        known = true;
      }
      if (on_b != (dsp == 1)) continue;
      if (word == g_dsp_output_volume_addr[c]) {
        log.push_back("vol " + n + "=" + VolumePercent(data[dsp]));
        known = true;
      } else if (word == g_dsp_output_mute_addr[c]) {
        log.push_back((data[dsp] == 0 ? "mute " : "unmute ") + n);
        known = true;
      } else if (word == g_dsp_output_delay_addr[c]) {
        log.push_back("delay " + n + "=" + std::to_string(data[dsp]));
        known = true;
      } else if (word == g_dsp_input_gain_addr[c]) {
        log.push_back("gain " + n);
        known = true;
      } else if (word == g_dsp_input_mute_addr[c]) {
        log.push_back((data[dsp] == 0 ? "inmute " : "inunmute ") + n);
        known = true;
      }
    }
    if (!known) log.push_back("eq");
  }
  return log;
}

}  // namespace outtest
