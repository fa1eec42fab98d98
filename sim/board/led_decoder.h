// The front LED driver chip as the simulated board sees it: a decoder of STB (GPIO 54), CLK (59)
// and DIO (60). A frame runs from STB falling to STB rising; bits are sampled on CLK's rising
// edge, least significant first. Commands: 0x40 data (auto-increment), 0xC0 | a address followed
// by data into the 14-byte display memory, 0x80-0x8F display control, 0x00-0x03 display mode.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim_sysfs.h"

namespace sim {

class LedDecoder : public platform::SysfsObserver {
 public:
  void OnGpioWrite(int gpio, int level, int64_t time_us) override;

  std::array<uint8_t, 14> Memory() const;
  // The last display-control command (0 before any).
  uint8_t DisplayControl() const;
  // Every complete frame's bytes, in order (bounded); a frame with a partial byte is kept with
  // the partial bits dropped and counted in MalformedFrames.
  std::vector<std::vector<uint8_t>> Frames() const;
  int MalformedFrames() const;
  void ClearFrames();

  // The state file: "memory <14 hex bytes>", "control 0x8F".
  std::string Text() const;

 private:
  void EndFrame();

  mutable std::mutex mutex_;
  int stb_ = 1, clk_ = 0, dio_ = 0;
  bool in_frame_ = false;
  std::vector<uint8_t> frame_;
  uint8_t current_ = 0;
  int bits_ = 0;
  std::array<uint8_t, 14> memory_{};
  uint8_t control_ = 0;
  std::vector<std::vector<uint8_t>> frames_;
  int malformed_ = 0;
};

}  // namespace sim
