// The front panel's character LCD as the simulated board sees it: a decoder of the GPIO lines
// that devctl bit-bangs (shift register data 18, clock 14, latch 13; RS 20, RW 19, E 21;
// backlight 11). Bits shift in on the clock's rising edge (most significant first), the byte is
// presented at the latch's rising edge, and the controller acts on E's falling edge.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim_sysfs.h"

namespace sim {

class LcdDecoder : public platform::SysfsObserver {
 public:
  LcdDecoder();

  void OnGpioWrite(int gpio, int level, int64_t time_us) override;

  // The 16 visible characters of line 0 or 1.
  std::string Line(int line) const;
  int Backlight() const;
  bool DisplayOn() const;
  // Instructions and data bytes the controller took, in order.
  std::vector<uint8_t> Instructions() const;
  int DataWrites() const;
  void ClearCounters();

  // The state file: "line0 |<16 characters>|", "line1 |...|", "backlight <0|1>".
  std::string Text() const;

 private:
  void Execute(bool data, uint8_t byte);

  mutable std::mutex mutex_;
  int levels_[32] = {};
  uint32_t shift_ = 0;
  uint8_t bus_ = 0;
  char ddram_[128];
  uint8_t address_ = 0;
  bool display_on_ = false;
  int backlight_ = 0;
  std::vector<uint8_t> instructions_;
  int data_writes_ = 0;
};

}  // namespace sim
