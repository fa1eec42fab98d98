#include "sim/board/sim_key_controller.h"

namespace sim {
namespace {
constexpr size_t kJournalLimit = 10000;
}

bool SimKeyController::OnWrite(const uint8_t* data, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!present_) return false;
  if (n == 0) return true;
  pointer_ = data[0];
  if (n >= 3) {
    config_[data[0]] = {data[1], data[2]};
    if (config_writes_.size() < kJournalLimit) config_writes_.emplace_back(data, data + n);
  }
  return true;
}

bool SimKeyController::OnRead(uint8_t* out, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!present_) return false;
  bool status = pointer_ == kStatusRegister || pointer_ == kStatusRegister + 1;
  for (size_t i = 0; i < n; ++i) out[i] = (status && i < 2) ? status_[i] : 0;
  ++reads_;
  return true;
}

void SimKeyController::SetPresent(bool present) {
  std::lock_guard<std::mutex> lock(mutex_);
  present_ = present;
}

void SimKeyController::SetStatus(uint8_t byte0, uint8_t byte1) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_[0] = byte0;
  status_[1] = byte1;
}

void SimKeyController::SetKey(int byte, int bit, bool pressed) {
  if (byte < 0 || byte > 1 || bit < 0 || bit > 7) return;
  std::lock_guard<std::mutex> lock(mutex_);
  uint8_t mask = static_cast<uint8_t>(1u << bit);
  status_[byte] = pressed ? (status_[byte] | mask) : (status_[byte] & ~mask);
}

std::pair<uint8_t, uint8_t> SimKeyController::Status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {status_[0], status_[1]};
}

std::map<uint8_t, std::pair<uint8_t, uint8_t>> SimKeyController::Config() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_;
}

std::vector<std::vector<uint8_t>> SimKeyController::ConfigWrites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_writes_;
}

uint64_t SimKeyController::Reads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reads_;
}

}  // namespace sim
