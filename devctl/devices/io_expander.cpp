#include "devctl/devices/io_expander.h"

#include <mutex>

#include "devctl/devices/i2c_bus.h"
#include "platform/clock.h"
#include "platform/state_resets.h"

namespace {

// The output bytes, read or changed only under g_ioexp_mutex.
std::mutex g_ioexp_mutex;
uint8_t g_ioexp_shadow_18 = 0x00;
uint8_t g_ioexp_shadow_19 = 0x44;
uint8_t g_ioexp_shadow_1b = 0x44;
uint8_t g_ioexp_shadow_1f = 0x00;

const platform::StateReset kReset(IoExpResetShadows);

// Sets or clears one bit of the power expander's shadow and writes the byte, then pauses.
void WritePowerBit(unsigned bit, bool set) {
  {
    std::lock_guard<std::mutex> lock(g_ioexp_mutex);
    uint8_t mask = static_cast<uint8_t>(1u << bit);
    g_ioexp_shadow_1f = set ? (g_ioexp_shadow_1f | mask) : (g_ioexp_shadow_1f & ~mask);
    I2cBus4Write(kIoExpPower, kIoExpOutputRegister, &g_ioexp_shadow_1f, 1);
  }
  platform::clock().SleepUs(100);
}

}  // namespace

int IoExpGainRangeCode(int db) {
  if (db >= 20) return 3;
  if (db >= 6) return 2;
  if (db >= -9) return 1;
  return 0;
}

void IoExpInit() {
  std::lock_guard<std::mutex> lock(g_ioexp_mutex);
  const struct {
    uint8_t addr7;
    uint8_t* shadow;
  } order[] = {{kIoExpPower, &g_ioexp_shadow_1f},
               {kIoExp1B, &g_ioexp_shadow_1b},
               {kIoExp19, &g_ioexp_shadow_19},
               {kIoExpGainRange, &g_ioexp_shadow_18}};
  const uint8_t all_outputs = 0x00;
  for (const auto& e : order) {
    I2cBus4Write(e.addr7, kIoExpDirectionRegister, &all_outputs, 1);
    I2cBus4Write(e.addr7, kIoExpOutputRegister, e.shadow, 1);
  }
}

int IoExpSetGainRange(unsigned channel, int db) {
  if (channel > 3) return -1;
  std::lock_guard<std::mutex> lock(g_ioexp_mutex);
  unsigned shift = 2 * channel;
  g_ioexp_shadow_18 = static_cast<uint8_t>((g_ioexp_shadow_18 & ~(3u << shift)) |
                                           (unsigned(IoExpGainRangeCode(db)) << shift));
  I2cBus4Write(kIoExpGainRange, kIoExpOutputRegister, &g_ioexp_shadow_18, 1);
  return 0;
}

int SetAnalogGainRange(unsigned channel, int db) { return IoExpSetGainRange(channel, db); }

void IoExpSetPhantom(unsigned channel, int on) {
  if (channel > 3) return;
  WritePowerBit(7 - channel, on != 0);
}

void IoExpSetResetLine(unsigned line, int level) {
  if (line > 1) return;
  WritePowerBit(3 - line, level != 0);
}

void IoExpSetEnableLine(int level) { WritePowerBit(1, level != 0); }

uint8_t IoExpShadow(uint8_t addr7) {
  std::lock_guard<std::mutex> lock(g_ioexp_mutex);
  switch (addr7) {
    case kIoExpGainRange:
      return g_ioexp_shadow_18;
    case kIoExp19:
      return g_ioexp_shadow_19;
    case kIoExp1B:
      return g_ioexp_shadow_1b;
    case kIoExpPower:
      return g_ioexp_shadow_1f;
    default:
      return 0;
  }
}

void IoExpResetShadows() {
  std::lock_guard<std::mutex> lock(g_ioexp_mutex);
  g_ioexp_shadow_18 = 0x00;
  g_ioexp_shadow_19 = 0x44;
  g_ioexp_shadow_1b = 0x44;
  g_ioexp_shadow_1f = 0x00;
}
