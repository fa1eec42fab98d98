#include "sim/board/sim_dsp.h"

namespace sim {
namespace {
constexpr size_t kMemoryWords = 0x10000;
constexpr size_t kControlRegs = 0x10000 - SimDsp::kControlBase;
constexpr size_t kJournalLimit = 100000;
}  // namespace

SimDsp::SimDsp(std::string name)
    : name_(std::move(name)),
      memory_(kMemoryWords, 0),
      control_(kControlRegs, 0),
      safeload_targets_(kMemoryWords, false) {}

bool SimDsp::OnWrite(const uint8_t* data, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!present_) return false;
  if (n < 2) return true;
  uint16_t reg = static_cast<uint16_t>(data[0] << 8 | data[1]);
  pointer_ = reg;
  data += 2;
  n -= 2;
  if (reg >= kControlBase) {
    for (size_t i = 0; i + 2 <= n; i += 2) {
      uint16_t r = static_cast<uint16_t>(reg + i / 2);
      if (r < kControlBase) break;
      uint16_t v = static_cast<uint16_t>(data[i] << 8 | data[i + 1]);
      control_[r - kControlBase] = v;
      if (control_writes_.size() < kJournalLimit) control_writes_.push_back({r, v});
    }
  } else {
    for (size_t i = 0; i + 4 <= n; i += 4) {
      uint32_t w = uint32_t(data[i]) << 24 | uint32_t(data[i + 1]) << 16 |
                   uint32_t(data[i + 2]) << 8 | data[i + 3];
      StoreWord(static_cast<uint16_t>(reg + i / 4), w);
    }
  }
  ++generation_;
  return true;
}

void SimDsp::StoreWord(uint16_t address, uint32_t value) {
  memory_[address] = value;
  if (address < kSafeloadData || address > kSafeloadCount) return;
  std::thread::id self = std::this_thread::get_id();
  if (safeload_open_ && safeload_owner_ != self) {
    ++interleavings_;
    safeload_owner_ = self;
  } else if (!safeload_open_) {
    safeload_open_ = true;
    safeload_owner_ = self;
  }
  if (address != kSafeloadCount) return;
  safeload_open_ = false;
  if (value == 0) return;
  if (value > 5) {
    ++bad_counts_;
    return;
  }
  SafeloadEvent e;
  e.target = static_cast<uint16_t>(memory_[kSafeloadTarget]);
  e.thread = self;
  for (uint32_t k = 0; k < value; ++k) {
    uint32_t w = memory_[kSafeloadData + k];
    e.words.push_back(w);
    memory_[static_cast<uint16_t>(e.target + k)] = w;
    safeload_targets_[static_cast<uint16_t>(e.target + k)] = true;
  }
  if (safeloads_.size() < kJournalLimit) safeloads_.push_back(std::move(e));
}

bool SimDsp::OnRead(uint8_t* out, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!present_) return false;
  if (pointer_ >= kControlBase) {
    for (size_t i = 0; i < n; ++i) {
      size_t r = pointer_ - kControlBase + i / 2;
      uint16_t v = r < kControlRegs ? control_[r] : 0;
      out[i] = static_cast<uint8_t>(i % 2 == 0 ? v >> 8 : v);
    }
  } else {
    for (size_t i = 0; i < n; ++i) {
      uint32_t w = memory_[static_cast<uint16_t>(pointer_ + i / 4)];
      out[i] = static_cast<uint8_t>(w >> (8 * (3 - i % 4)));
    }
  }
  return true;
}

void SimDsp::SetPresent(bool present) {
  std::lock_guard<std::mutex> lock(mutex_);
  present_ = present;
}

uint32_t SimDsp::Word(uint16_t address) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return memory_[address];
}

void SimDsp::SetWord(uint16_t address, uint32_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  memory_[address] = value;
  ++generation_;
}

uint16_t SimDsp::Control(uint16_t reg) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reg >= kControlBase ? control_[reg - kControlBase] : 0;
}

std::vector<ControlWrite> SimDsp::ControlWrites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return control_writes_;
}

std::vector<SafeloadEvent> SimDsp::Safeloads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return safeloads_;
}

uint64_t SimDsp::Interleavings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return interleavings_;
}

uint64_t SimDsp::BadCounts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bad_counts_;
}

void SimDsp::ClearJournal() {
  std::lock_guard<std::mutex> lock(mutex_);
  control_writes_.clear();
  safeloads_.clear();
  interleavings_ = 0;
  bad_counts_ = 0;
}

std::vector<std::pair<uint16_t, uint32_t>> SimDsp::ParameterWords() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::pair<uint16_t, uint32_t>> out;
  for (size_t a = 0; a < kControlBase; ++a) {
    if (memory_[a] != 0 || safeload_targets_[a]) {
      out.emplace_back(static_cast<uint16_t>(a), memory_[a]);
    }
  }
  return out;
}

uint64_t SimDsp::Generation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}

}  // namespace sim
