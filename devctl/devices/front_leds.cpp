#include "devctl/devices/front_leds.h"

#include <mutex>

#include "devctl/devices/board_lines.h"
#include "devctl/devices/gpio.h"
#include "platform/clock.h"

const uint8_t g_led_brightness_cmd[9] = {0x80, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F};

namespace {

std::mutex g_led_mutex;

constexpr int kGpioStb = kGpioLedStb;
constexpr int kGpioClk = kGpioLedClk;
constexpr int kGpioDio = kGpioLedDio;

constexpr uint8_t kModeCommand = 0x03;
constexpr uint8_t kDataCommand = 0x40;  // write, auto-increment address
constexpr uint8_t kAddressCommand = 0xC0;
constexpr uint8_t kDisplayBytes = 14;
constexpr uint8_t kMaxBrightness = 8;

void OpenOutput(int gpio, uint8_t level) {
  GpioOpen(gpio);
  GpioSetOut(gpio);
  GpioWrite(gpio, level);
}

void ShowPattern(const uint8_t (&pattern)[kDisplayBytes]) {
  LedDrvWrite(0, pattern, kDisplayBytes);
  LedDrvWrite(0, pattern, kDisplayBytes);
}

}  // namespace

void InitFrontLeds() {
  LedDrvGpioInit();
  LedDrvInit();
}

void LedDrvGpioInit() {
  OpenOutput(kGpioDio, 0);
  OpenOutput(kGpioClk, 0);
  OpenOutput(kGpioStb, 1);
}

void LedDrvInit() {
  static const uint8_t kBlank[kDisplayBytes] = {};
  LedDrvCommand(kModeCommand);
  LedDrvSetBrightness(kMaxBrightness);
  LedDrvWrite(0, kBlank, kDisplayBytes);
}

void LedDrvCommand(uint8_t cmd) { LedDrvTransfer(&cmd, 1, nullptr, 0); }

void LedDrvWrite(uint8_t addr, const uint8_t* data, uint8_t len) {
  LedDrvCommand(kDataCommand);
  platform::clock().SleepUs(1);
  uint8_t address = kAddressCommand | addr;
  LedDrvTransfer(&address, 1, data, len);
}

void LedDrvSetBrightness(uint8_t level) {
  LedDrvCommand(g_led_brightness_cmd[level > kMaxBrightness ? kMaxBrightness : level]);
}

void LedDrvTransfer(const uint8_t* cmd, uint8_t ncmd, const uint8_t* data, int16_t ndata) {
  std::lock_guard<std::mutex> lock(g_led_mutex);
  GpioWrite(kGpioStb, 0);
  for (int i = 0; cmd && i < ncmd; ++i) LedDrvShiftByte(cmd[i]);
  for (int i = 0; data && i < ndata; ++i) LedDrvShiftByte(data[i]);
  GpioWrite(kGpioStb, 1);
}

void LedDrvShiftByte(uint8_t value) {
  for (int bit = 0; bit < 8; ++bit) {
    GpioWrite(kGpioClk, 0);
    GpioWrite(kGpioDio, (value >> bit) & 1);
    LedDrvDelay();
    GpioWrite(kGpioClk, 1);
    LedDrvReadDio();  // the chip's answer bit is not used
  }
}

int LedDrvReadDio() {
  GpioSetIn(kGpioDio);
  int level = GpioRead(kGpioDio);
  GpioSetOut(kGpioDio);
  return level;
}

// The sysfs write latency alone paces the bus.
void LedDrvDelay() {}

void LedShowAll(int powered) {
  uint8_t pattern[kDisplayBytes] = {};
  pattern[0] = powered ? 3 : 4;
  for (int i = 2; i <= 12; i += 2) pattern[i] = powered ? 3 : 0;
  ShowPattern(pattern);
}

void LedShowPowerOnly(int powered) {
  uint8_t pattern[kDisplayBytes] = {};
  pattern[0] = powered ? 1 : 4;
  ShowPattern(pattern);
}

void LedShowNone() {
  static const uint8_t kBlank[kDisplayBytes] = {};
  ShowPattern(kBlank);
}
