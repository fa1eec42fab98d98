#include "platform/sim_i2c.h"

#include <cstdio>

#include "platform/clock.h"

namespace platform {
namespace {
// Enough for a complete boot of both DSPs and a few thousand commands after it.
constexpr size_t kJournalLimit = 200000;

// Hands one transfer to the device. Exempt from UBSan's dynamic-type check: on a type-cache miss
// the check probes the object's memory through a pipe, and a process whose descriptors have run
// out (a test exhausts devctl's on purpose) gets a false "invalid vptr" and ends. The bus calls
// several device types in turn, so its cache misses are frequent.
#define NO_VPTR_CHECK __attribute__((no_sanitize("vptr")))
NO_VPTR_CHECK bool DeliverWrite(SimI2cDevice& device, const uint8_t* data, size_t n) {
  return device.OnWrite(data, n);
}
NO_VPTR_CHECK bool DeliverRead(SimI2cDevice& device, uint8_t* out, size_t n) {
  return device.OnRead(out, n);
}
#undef NO_VPTR_CHECK
}  // namespace

SimI2cBus::SimI2cBus() = default;

int SimI2cBus::Open(const std::string& device) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (TakeFault(Op::kOpen)) return -1;
  unsigned bus = 0;
  char tail = 0;
  if (std::sscanf(device.c_str(), "/dev/i2c-%u%c", &bus, &tail) != 1) return -1;
  if (!buses_.count(bus)) return -1;
  int h = next_handle_++;
  handles_[h] = Handle{bus, -1};
  return h;
}

int SimI2cBus::SetAddress(int handle, unsigned addr7) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = handles_.find(handle);
  if (it == handles_.end() || addr7 > 0x7F) return -1;
  if (TakeFault(Op::kSetAddress)) return -1;
  it->second.addr7 = static_cast<int>(addr7);
  return 0;
}

long SimI2cBus::Write(int handle, const uint8_t* data, size_t n) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hook = hook_;
  }
  if (hook) hook();
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = handles_.find(handle);
  if (it == handles_.end() || it->second.addr7 < 0) return -1;
  unsigned bus = it->second.bus;
  unsigned addr7 = static_cast<unsigned>(it->second.addr7);
  size_t take = (write_limit_ && n > write_limit_) ? write_limit_ : n;
  SimI2cDevice* dev = Find(bus, addr7);
  bool acked = dev && !TakeFault(Op::kWrite) && DeliverWrite(*dev, data, take);
  Record(bus, addr7, false, acked, data, take);
  return acked ? static_cast<long>(take) : -1;
}

int SimI2cBus::Transfer(int handle, I2cMessage* msgs, unsigned count) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hook = hook_;
  }
  if (hook) hook();
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = handles_.find(handle);
  if (it == handles_.end()) return -1;
  unsigned bus = it->second.bus;
  if (TakeFault(Op::kTransfer)) return -1;
  int done = 0;
  for (unsigned i = 0; i < count; ++i) {
    I2cMessage& m = msgs[i];
    SimI2cDevice* dev = Find(bus, m.addr);
    bool read = (m.flags & kI2cMessageRead) != 0;
    bool acked =
        dev && (read ? DeliverRead(*dev, m.buf, m.len) : DeliverWrite(*dev, m.buf, m.len));
    Record(bus, m.addr, read, acked, m.buf, m.len);
    if (!acked) break;
    ++done;
  }
  // The kernel reports a transfer that stopped early as an error, not as a partial count.
  return done == static_cast<int>(count) ? done : -1;
}

void SimI2cBus::Close(int handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  handles_.erase(handle);
}

void SimI2cBus::Attach(unsigned bus, unsigned addr7, SimI2cDevice* device) {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_[{bus, addr7}] = device;
}

void SimI2cBus::Detach(unsigned bus, unsigned addr7) {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_.erase({bus, addr7});
}

void SimI2cBus::SetBusPresent(unsigned bus, bool present) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (present) {
    buses_.insert(bus);
  } else {
    buses_.erase(bus);
  }
}

void SimI2cBus::FailNext(Op op, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_[op] = count;
}

void SimI2cBus::SetWriteLimit(size_t max_bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  write_limit_ = max_bytes;
}

void SimI2cBus::SetTransferHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

void SimI2cBus::ClearFaults() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.clear();
  write_limit_ = 0;
  hook_ = nullptr;
  buses_ = {3, 4, 5};
}

std::vector<I2cTransferRecord> SimI2cBus::Transfers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {journal_.begin(), journal_.end()};
}

std::vector<I2cTransferRecord> SimI2cBus::Transfers(unsigned bus, unsigned addr7) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<I2cTransferRecord> out;
  for (const auto& r : journal_) {
    if (r.bus == bus && r.addr7 == addr7) out.push_back(r);
  }
  return out;
}

uint64_t SimI2cBus::TransferCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transfer_count_;
}

void SimI2cBus::ClearTransfers() {
  std::lock_guard<std::mutex> lock(mutex_);
  journal_.clear();
  transfer_count_ = 0;
}

size_t SimI2cBus::OpenHandles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handles_.size();
}

bool SimI2cBus::TakeFault(Op op) {
  auto it = faults_.find(op);
  if (it == faults_.end() || it->second <= 0) return false;
  --it->second;
  return true;
}

void SimI2cBus::Record(unsigned bus, unsigned addr7, bool read, bool acked, const uint8_t* data,
                       size_t n) {
  I2cTransferRecord r;
  r.bus = bus;
  r.addr7 = addr7;
  r.thread = std::this_thread::get_id();
  r.time_us = clock().NowUs();
  r.read = read;
  r.acked = acked;
  if (data && (acked || !read)) r.bytes.assign(data, data + n);
  journal_.push_back(std::move(r));
  if (journal_.size() > kJournalLimit) journal_.pop_front();
  ++transfer_count_;
}

SimI2cDevice* SimI2cBus::Find(unsigned bus, unsigned addr7) const {
  auto it = devices_.find({bus, addr7});
  return it == devices_.end() ? nullptr : it->second;
}

SimI2cBus& sim_i2c() {
  static SimI2cBus bus;
  return bus;
}

}  // namespace platform
