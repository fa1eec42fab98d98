// A simulated DSP of the board's bus 3: the register map devctl expects of it.
// - A write transfer starts with a 2-byte register address, most significant byte first.
//   Below 0xF000 the payload is 4-byte words (MSB first), one address per word; from 0xF000 on
//   (control registers) it is 2-byte values, one register per value.
// - A combined read returns the words (or control values) from the last written address.
// - Safeload: words at 0x6000-0x6004 are the data slots, 0x6005 the target address, and a
//   non-zero count (1-5) at 0x6006 copies that many slots to the target. A count of 0 (the zero
//   data-memory-1 image) does nothing; a count above 5 is counted as bad.
// - Interleaving detector: a safeload is owned by the thread that wrote its first slot; a write
//   into 0x6000-0x6006 from another thread before the count arrives is counted.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/sim_i2c.h"

namespace sim {

struct SafeloadEvent {
  uint16_t target;
  std::vector<uint32_t> words;
  std::thread::id thread;
};

struct ControlWrite {
  uint16_t reg;
  uint16_t value;
  bool operator==(const ControlWrite& o) const { return reg == o.reg && value == o.value; }
};

class SimDsp : public platform::SimI2cDevice {
 public:
  static constexpr uint16_t kSafeloadData = 0x6000;
  static constexpr uint16_t kSafeloadTarget = 0x6005;
  static constexpr uint16_t kSafeloadCount = 0x6006;
  static constexpr uint16_t kControlBase = 0xF000;

  explicit SimDsp(std::string name);

  bool OnWrite(const uint8_t* data, size_t n) override;
  bool OnRead(uint8_t* out, size_t n) override;

  const std::string& name() const { return name_; }
  // A missing DSP acknowledges nothing.
  void SetPresent(bool present);

  uint32_t Word(uint16_t address) const;
  // Sets a memory word directly (meters, test set-up); not journaled.
  void SetWord(uint16_t address, uint32_t value);
  uint16_t Control(uint16_t reg) const;

  // Every control-register write in order; every completed safeload in order.
  std::vector<ControlWrite> ControlWrites() const;
  std::vector<SafeloadEvent> Safeloads() const;
  uint64_t Interleavings() const;
  uint64_t BadCounts() const;
  // Forgets the journals and counters (memory stays).
  void ClearJournal();
  // Data-memory words (below the control registers) that are non-zero or were the target of a
  // safeload, in address order: the cells a person looks at after a command.
  std::vector<std::pair<uint16_t, uint32_t>> ParameterWords() const;
  // Changes whenever memory or control registers change (for publishing).
  uint64_t Generation() const;

 private:
  void StoreWord(uint16_t address, uint32_t value);

  const std::string name_;
  mutable std::mutex mutex_;
  bool present_ = true;
  uint16_t pointer_ = 0;
  std::vector<uint32_t> memory_;
  std::vector<uint16_t> control_;
  std::vector<bool> safeload_targets_;
  std::vector<ControlWrite> control_writes_;
  std::vector<SafeloadEvent> safeloads_;
  std::thread::id safeload_owner_;
  bool safeload_open_ = false;
  uint64_t interleavings_ = 0;
  uint64_t bad_counts_ = 0;
  uint64_t generation_ = 0;
};

}  // namespace sim
