#include "devctl/devices/lcd.h"

#include <cstring>
#include <mutex>

#include "devctl/devices/board_lines.h"
#include "devctl/devices/gpio.h"
#include "platform/clock.h"
#include "platform/state_resets.h"

namespace {

std::mutex g_lcd_mutex;
// What was last sent to each line (16 columns and a NUL), under g_lcd_mutex.
char g_lcd_shadow[2][17];

const platform::StateReset kReset([] {
  std::lock_guard<std::mutex> lock(g_lcd_mutex);
  std::memset(g_lcd_shadow, 0, sizeof g_lcd_shadow);
});

constexpr int kGpioBacklight = kGpioLcdBacklight;
constexpr int kGpioLcdSetup = kGpioLcdPower;
constexpr int kGpioLatch = kGpioLcdLatch;
constexpr int kGpioClock = kGpioLcdClock;
constexpr int kGpioData = kGpioLcdData;
constexpr int kGpioRw = kGpioLcdRw;
constexpr int kGpioRs = kGpioLcdRs;
constexpr int kGpioE = kGpioLcdEnable;

constexpr uint8_t kFunctionSet8Bit2Lines = 0x38;
constexpr uint8_t kDisplayOn = 0x0C;
constexpr uint8_t kEntryIncrement = 0x06;
constexpr uint8_t kClearDisplay = 0x01;
constexpr uint8_t kSetAddressLine0 = 0x80;
constexpr uint8_t kSetAddressLine1 = 0xC0;
constexpr int kColumns = 16;

void WaitUs(int64_t us) { platform::clock().SleepUs(us); }

void OpenOutput(int gpio) {
  GpioOpen(gpio);
  GpioSetOut(gpio);
}

void LcdGpioInit() {
  OpenOutput(kGpioLcdSetup);
  GpioWrite(kGpioLcdSetup, 0);
  platform::SleepMs(10);
  for (int gpio : {kGpioData, kGpioClock, kGpioLatch}) {
    OpenOutput(gpio);
    GpioWrite(gpio, 0);
  }
  for (int gpio : {kGpioData, kGpioClock, kGpioLatch}) GpioWrite(gpio, 0);
  for (int gpio : {kGpioRs, kGpioRw, kGpioE}) {
    OpenOutput(gpio);
    GpioWrite(gpio, 0);
  }
}

// Shifts the byte out most significant bit first and presents it at the latch pulse.
void LcdShiftByte(uint8_t value) {
  GpioWrite(kGpioData, 0);
  GpioWrite(kGpioClock, 0);
  GpioWrite(kGpioLatch, 0);
  WaitUs(2);
  for (int bit = 7; bit >= 0; --bit) {
    GpioWrite(kGpioData, (value >> bit) & 1);
    WaitUs(2);
    GpioWrite(kGpioClock, 1);
    WaitUs(2);
    GpioWrite(kGpioClock, 0);
  }
  WaitUs(2);
  GpioWrite(kGpioLatch, 1);
  WaitUs(2);
  GpioWrite(kGpioLatch, 0);
}

// The controller takes the byte on the falling edge of E.
void PulseEnable() {
  WaitUs(5);
  GpioWrite(kGpioE, 1);
  WaitUs(5);
  GpioWrite(kGpioE, 0);
}

void LcdCommand(uint8_t instruction) {
  GpioWrite(kGpioRs, 0);
  GpioWrite(kGpioRw, 0);
  GpioWrite(kGpioE, 0);
  WaitUs(5);
  LcdShiftByte(instruction);
  PulseEnable();
}

void BeginData() {
  GpioWrite(kGpioRs, 1);
  GpioWrite(kGpioRw, 0);
  GpioWrite(kGpioE, 0);
}

void LcdData(char c) {
  LcdShiftByte(static_cast<uint8_t>(c));
  PulseEnable();
}

uint8_t AddressCommand(int line, int col) {
  return static_cast<uint8_t>((line == 0 ? kSetAddressLine0 : kSetAddressLine1) + col);
}

// The draw scope of this thread (none: every write lands).
thread_local const std::atomic<unsigned>* t_draw_generation = nullptr;
thread_local unsigned t_draw_seen = 0;

bool DrawIsStale() {
  return t_draw_generation != nullptr && t_draw_generation->load() != t_draw_seen;
}

void ShowInField(uint8_t line, const char* text, bool centred) {
  char field[kColumns + 1];
  std::memset(field, ' ', kColumns);
  field[kColumns] = '\0';
  size_t len = text ? std::strlen(text) : 0;
  size_t shown = len > size_t(kColumns) ? size_t(kColumns) : len;
  size_t col = (!centred || len >= 15) ? 0 : (kColumns - len) / 2;
  if (shown) std::memcpy(field + col, text, shown);
  LcdWrite(0, line, field, kColumns);
}

}  // namespace

void LcdInit() {
  std::lock_guard<std::mutex> lock(g_lcd_mutex);
  LcdGpioInit();
  OpenOutput(kGpioBacklight);
  GpioWrite(kGpioBacklight, 1);
  platform::SleepMs(10);
  for (uint8_t instruction : {kFunctionSet8Bit2Lines, kDisplayOn, kEntryIncrement}) {
    LcdCommand(instruction);
    WaitUs(10);
  }
  LcdCommand(kClearDisplay);
  platform::SleepMs(1);
  for (auto& line : g_lcd_shadow) {
    std::memset(line, ' ', kColumns);
    line[kColumns] = '\0';
  }
}

void LcdClear() {
  std::lock_guard<std::mutex> lock(g_lcd_mutex);
  LcdCommand(kClearDisplay);
}

void LcdWrite(uint8_t col, uint8_t line, const char* text, uint8_t len) {
  {
    std::lock_guard<std::mutex> lock(g_lcd_mutex);
    if (len == 0 || line >= 2 || text == nullptr || DrawIsStale()) return;
    // In int: an 8-bit 16 - col would wrap for columns past the end.
    int count = len;
    if (int(col) + count > 15) count = kColumns - int(col);
    if (count > 0) {
      char* shadow = g_lcd_shadow[line];
      int changed = 0;
      for (int i = 0; i < count; ++i) changed += shadow[col + i] != text[i];
      if (changed < 4) {
        for (int i = 0; i < count; ++i) {
          if (shadow[col + i] == text[i]) continue;
          LcdCommand(AddressCommand(line, col + i));
          BeginData();
          LcdData(text[i]);
          shadow[col + i] = text[i];
        }
      } else {
        LcdCommand(AddressCommand(line, col));
        BeginData();
        for (int i = 0; i < count; ++i) LcdData(text[i]);
        std::memcpy(shadow + col, text, size_t(count));
      }
    }
  }
  WaitUs(10);
}

LcdDrawScope::LcdDrawScope(const std::atomic<unsigned>& generation, unsigned seen)
    : previous_generation_(t_draw_generation), previous_seen_(t_draw_seen) {
  t_draw_generation = &generation;
  t_draw_seen = seen;
}

LcdDrawScope::~LcdDrawScope() {
  t_draw_generation = previous_generation_;
  t_draw_seen = previous_seen_;
}

void LcdBacklightOn() {
  OpenOutput(kGpioBacklight);
  GpioWrite(kGpioBacklight, 1);
}

void LcdSetBacklight(uint8_t on) {
  GpioWrite(kGpioBacklight, on ? 1 : 0);
  if (on) return;
  static const char kBlank[kColumns + 1] = "                ";
  LcdWrite(0, 0, kBlank, kColumns);
  LcdWrite(0, 1, kBlank, kColumns);
}

void LcdShowCentered(uint8_t line, const char* text) { ShowInField(line, text, true); }

void LcdShowLeft(uint8_t line, const char* text) { ShowInField(line, text, false); }

std::string LcdShadowLine(int line) {
  if (line < 0 || line >= 2) return std::string();
  std::lock_guard<std::mutex> lock(g_lcd_mutex);
  return std::string(g_lcd_shadow[line]);
}
