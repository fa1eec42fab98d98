#include "sim/board/led_decoder.h"

#include <cstdio>

namespace sim {
namespace {

constexpr int kStb = 54;
constexpr int kClk = 59;
constexpr int kDio = 60;
constexpr size_t kMaxFrames = 4096;

}  // namespace

void LedDecoder::OnGpioWrite(int gpio, int level, int64_t /*time_us*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  int high = level ? 1 : 0;
  if (gpio == kDio) {
    dio_ = high;
  } else if (gpio == kClk) {
    if (in_frame_ && !clk_ && high) {
      current_ |= uint8_t(dio_ << bits_);
      if (++bits_ == 8) {
        frame_.push_back(current_);
        current_ = 0;
        bits_ = 0;
      }
    }
    clk_ = high;
  } else if (gpio == kStb) {
    if (stb_ && !high) {
      in_frame_ = true;
      frame_.clear();
      current_ = 0;
      bits_ = 0;
    } else if (!stb_ && high && in_frame_) {
      EndFrame();
    }
    stb_ = high;
  }
}

void LedDecoder::EndFrame() {
  in_frame_ = false;
  if (bits_ != 0) ++malformed_;
  if (frames_.size() < kMaxFrames) frames_.push_back(frame_);
  if (frame_.empty()) return;
  uint8_t command = frame_[0];
  if ((command & 0xC0) == 0xC0) {
    size_t address = command & 0x0F;
    for (size_t i = 1; i < frame_.size(); ++i, ++address) {
      if (address < memory_.size()) memory_[address] = frame_[i];
    }
  } else if ((command & 0xF0) == 0x80) {
    control_ = command;
  }
}

std::array<uint8_t, 14> LedDecoder::Memory() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return memory_;
}

uint8_t LedDecoder::DisplayControl() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return control_;
}

std::vector<std::vector<uint8_t>> LedDecoder::Frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_;
}

int LedDecoder::MalformedFrames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return malformed_;
}

void LedDecoder::ClearFrames() {
  std::lock_guard<std::mutex> lock(mutex_);
  frames_.clear();
  malformed_ = 0;
}

std::string LedDecoder::Text() const {
  std::array<uint8_t, 14> memory = Memory();
  std::string text = "memory";
  char hex[8];
  for (uint8_t b : memory) {
    std::snprintf(hex, sizeof hex, " %02X", b);
    text += hex;
  }
  std::snprintf(hex, sizeof hex, "0x%02X", DisplayControl());
  return text + "\ncontrol " + hex + "\n";
}

}  // namespace sim
