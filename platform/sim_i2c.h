// Simulated I2C buses: the port of the simulated build. Devices are in-process objects attached
// by bus number and 7-bit address (the simulated board attaches its DSPs, expanders and key
// controller). Every transfer is journaled, and faults can be injected for tests.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/i2c.h"

namespace platform {

// A device on a simulated bus. Calls arrive one at a time per bus (the bus serialises them).
class SimI2cDevice {
 public:
  virtual ~SimI2cDevice() = default;
  // One write transfer addressed to the device. false = not acknowledged.
  virtual bool OnWrite(const uint8_t* data, size_t n) = 0;
  // One read transfer (after a write that set the device's register pointer). false = not
  // acknowledged.
  virtual bool OnRead(uint8_t* out, size_t n) = 0;
};

// One transfer as the bus saw it: a write(), or one message of a combined transfer.
struct I2cTransferRecord {
  unsigned bus = 0;
  unsigned addr7 = 0;
  std::thread::id thread;
  int64_t time_us = 0;  // platform clock
  bool read = false;
  bool acked = false;
  std::vector<uint8_t> bytes;  // written, or read back
};

class SimI2cBus : public I2cPort {
 public:
  enum class Op { kOpen, kSetAddress, kWrite, kTransfer };

  SimI2cBus();

  int Open(const std::string& device) override;
  int SetAddress(int handle, unsigned addr7) override;
  long Write(int handle, const uint8_t* data, size_t n) override;
  int Transfer(int handle, I2cMessage* msgs, unsigned count) override;
  void Close(int handle) override;

  // Devices. A device must stay alive while attached.
  void Attach(unsigned bus, unsigned addr7, SimI2cDevice* device);
  void Detach(unsigned bus, unsigned addr7);
  // Buses whose device file exists (3, 4 and 5 at first).
  void SetBusPresent(unsigned bus, bool present);

  // Fault injection: the next `count` calls of op fail.
  void FailNext(Op op, int count = 1);
  // Each write() takes at most this many bytes (0 = no limit), as a short-writing driver would.
  void SetWriteLimit(size_t max_bytes);
  // Called before every write and combined transfer, outside the bus lock (yield, delay).
  void SetTransferHook(std::function<void()> hook);
  // Clears devices' faults, limit and hook; keeps devices and journal.
  void ClearFaults();

  // Journal of the most recent transfers (bounded; TransferCount counts all).
  std::vector<I2cTransferRecord> Transfers() const;
  std::vector<I2cTransferRecord> Transfers(unsigned bus, unsigned addr7) const;
  uint64_t TransferCount() const;
  void ClearTransfers();
  // Handles currently open (a routine that forgets to close shows here).
  size_t OpenHandles() const;

 private:
  struct Handle {
    unsigned bus;
    int addr7;  // -1 until set
  };
  bool TakeFault(Op op);
  void Record(unsigned bus, unsigned addr7, bool read, bool acked, const uint8_t* data, size_t n);
  SimI2cDevice* Find(unsigned bus, unsigned addr7) const;

  mutable std::mutex mutex_;
  std::map<std::pair<unsigned, unsigned>, SimI2cDevice*> devices_;
  std::set<unsigned> buses_{3, 4, 5};
  std::map<int, Handle> handles_;
  int next_handle_ = 3;
  std::map<Op, int> faults_;
  size_t write_limit_ = 0;
  std::function<void()> hook_;
  std::deque<I2cTransferRecord> journal_;
  uint64_t transfer_count_ = 0;
};

// The process's simulated buses.
SimI2cBus& sim_i2c();

}  // namespace platform
