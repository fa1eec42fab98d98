// The simulated front-panel key controller of bus 5 (7-bit address 0x24).
// - Set-up writes are [register, d0, d1]; the two bytes are kept per register.
// - The key status is two bytes (byte 0: arrows, byte 1: number keys, MENU, POWER, CANCEL, OK;
//   a set bit is a pressed key). A read whose register pointer is 0x31 or 0x32 returns the
//   status pair starting with byte 0, which is what devctl's byte-wise read of 0x31/0x32
//   expects; other registers read 0.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/sim_i2c.h"

namespace sim {

class SimKeyController : public platform::SimI2cDevice {
 public:
  static constexpr uint8_t kStatusRegister = 0x31;

  bool OnWrite(const uint8_t* data, size_t n) override;
  bool OnRead(uint8_t* out, size_t n) override;

  void SetPresent(bool present);
  void SetStatus(uint8_t byte0, uint8_t byte1);
  // Presses or releases the key of one status bit (byte 0 or 1, bit 0-7).
  void SetKey(int byte, int bit, bool pressed);
  std::pair<uint8_t, uint8_t> Status() const;
  // Set-up writes: register -> its two bytes (last write wins), and every write in order.
  std::map<uint8_t, std::pair<uint8_t, uint8_t>> Config() const;
  std::vector<std::vector<uint8_t>> ConfigWrites() const;
  uint64_t Reads() const;

 private:
  mutable std::mutex mutex_;
  bool present_ = true;
  uint8_t pointer_ = 0;
  uint8_t status_[2] = {0, 0};
  std::map<uint8_t, std::pair<uint8_t, uint8_t>> config_;
  std::vector<std::vector<uint8_t>> config_writes_;
  uint64_t reads_ = 0;
};

}  // namespace sim
