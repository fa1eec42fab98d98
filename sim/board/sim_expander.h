// A simulated 8-bit I/O expander of bus 4: a write is [register, data...] (consecutive registers
// from the given one); register 1 is the output byte, register 3 the direction byte. Every
// write of register 1 is kept with its time on the platform clock.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/sim_i2c.h"

namespace sim {

struct ExpanderWrite {
  uint8_t reg;
  uint8_t value;
  int64_t time_us;
};

class SimExpander : public platform::SimI2cDevice {
 public:
  static constexpr uint8_t kOutputRegister = 1;
  static constexpr uint8_t kDirectionRegister = 3;

  explicit SimExpander(uint8_t addr7) : addr7_(addr7) {}

  bool OnWrite(const uint8_t* data, size_t n) override;
  bool OnRead(uint8_t* out, size_t n) override;

  uint8_t addr7() const { return addr7_; }
  void SetPresent(bool present);
  uint8_t Output() const { return Register(kOutputRegister); }
  uint8_t Direction() const { return Register(kDirectionRegister); }
  uint8_t Register(uint8_t reg) const;
  // Every register write in order, and those of the output register only.
  std::vector<ExpanderWrite> Writes() const;
  std::vector<ExpanderWrite> OutputHistory() const;
  void ClearJournal();
  uint64_t Generation() const;

 private:
  const uint8_t addr7_;
  mutable std::mutex mutex_;
  bool present_ = true;
  uint8_t pointer_ = 0;
  uint8_t registers_[8] = {};
  std::vector<ExpanderWrite> writes_;
  uint64_t generation_ = 0;
};

}  // namespace sim
