#include "sim/board/sim_expander.h"

#include "platform/clock.h"

namespace sim {
namespace {
constexpr size_t kJournalLimit = 100000;
}

bool SimExpander::OnWrite(const uint8_t* data, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!present_) return false;
  if (n == 0) return true;
  pointer_ = data[0] & 7;
  int64_t now = platform::clock().NowUs();
  for (size_t i = 1; i < n; ++i) {
    uint8_t reg = static_cast<uint8_t>((pointer_ + i - 1) & 7);
    registers_[reg] = data[i];
    if (writes_.size() < kJournalLimit) writes_.push_back({reg, data[i], now});
  }
  ++generation_;
  return true;
}

bool SimExpander::OnRead(uint8_t* out, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!present_) return false;
  for (size_t i = 0; i < n; ++i) out[i] = registers_[(pointer_ + i) & 7];
  return true;
}

void SimExpander::SetPresent(bool present) {
  std::lock_guard<std::mutex> lock(mutex_);
  present_ = present;
}

uint8_t SimExpander::Register(uint8_t reg) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registers_[reg & 7];
}

std::vector<ExpanderWrite> SimExpander::Writes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writes_;
}

std::vector<ExpanderWrite> SimExpander::OutputHistory() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ExpanderWrite> out;
  for (const auto& w : writes_) {
    if (w.reg == kOutputRegister) out.push_back(w);
  }
  return out;
}

void SimExpander::ClearJournal() {
  std::lock_guard<std::mutex> lock(mutex_);
  writes_.clear();
}

uint64_t SimExpander::Generation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}

}  // namespace sim
