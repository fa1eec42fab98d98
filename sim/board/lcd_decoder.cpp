#include "sim/board/lcd_decoder.h"

#include <cstring>

namespace sim {
namespace {

constexpr int kBacklight = 11;
constexpr int kLatch = 13;
constexpr int kClock = 14;
constexpr int kData = 18;
constexpr int kRs = 20;
constexpr int kEnable = 21;
constexpr size_t kMaxInstructions = 4096;

}  // namespace

LcdDecoder::LcdDecoder() { std::memset(ddram_, ' ', sizeof ddram_); }

void LcdDecoder::OnGpioWrite(int gpio, int level, int64_t /*time_us*/) {
  if (gpio < 0 || gpio >= 32) return;
  std::lock_guard<std::mutex> lock(mutex_);
  int previous = levels_[gpio];
  levels_[gpio] = level ? 1 : 0;
  bool rising = !previous && level;
  bool falling = previous && !level;
  if (gpio == kClock && rising) shift_ = (shift_ << 1) | uint32_t(levels_[kData]);
  if (gpio == kLatch && rising) bus_ = uint8_t(shift_);
  if (gpio == kEnable && falling) Execute(levels_[kRs] != 0, bus_);
  if (gpio == kBacklight) backlight_ = levels_[kBacklight];
}

void LcdDecoder::Execute(bool data, uint8_t byte) {
  if (data) {
    ddram_[address_ & 0x7F] = char(byte);
    address_ = uint8_t((address_ + 1) & 0x7F);
    ++data_writes_;
    return;
  }
  if (instructions_.size() < kMaxInstructions) instructions_.push_back(byte);
  if (byte & 0x80) {
    address_ = byte & 0x7F;
  } else if (byte == 0x01) {
    std::memset(ddram_, ' ', sizeof ddram_);
    address_ = 0;
  } else if ((byte & 0xF8) == 0x08) {
    display_on_ = (byte & 0x04) != 0;
  }
}

std::string LcdDecoder::Line(int line) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::string(ddram_ + (line ? 0x40 : 0), 16);
}

int LcdDecoder::Backlight() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return backlight_;
}

bool LcdDecoder::DisplayOn() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return display_on_;
}

std::vector<uint8_t> LcdDecoder::Instructions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return instructions_;
}

int LcdDecoder::DataWrites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return data_writes_;
}

void LcdDecoder::ClearCounters() {
  std::lock_guard<std::mutex> lock(mutex_);
  instructions_.clear();
  data_writes_ = 0;
}

std::string LcdDecoder::Text() const {
  return "line0 |" + Line(0) + "|\nline1 |" + Line(1) + "|\nbacklight " +
         std::to_string(Backlight()) + "\n";
}

}  // namespace sim
