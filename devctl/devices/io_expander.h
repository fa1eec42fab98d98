// The four I/O expanders on bus 4. devctl never reads them: it keeps a shadow of each output
// byte, changes bits in the shadow and writes the whole byte (register 1; register 3 is the
// direction, 0x00 = all outputs).
//
// 0x18: gain range of analogue input c in bits 2c+1..2c.
// 0x19, 0x1B: 0x44, written once by IoExpInit.
// 0x1F: bit 7-c phantom of analogue input c; bit 3 reset line 0; bit 2 reset line 1; bit 1
//       enable line; bit 0 unused.
//
// The shadows' lock is held across each shadow change and its bus write, so changes made by
// different threads at the same moment all survive. An inner lock.
#pragma once

#include <cstdint>

constexpr uint8_t kIoExpGainRange = 0x18;
constexpr uint8_t kIoExp19 = 0x19;
constexpr uint8_t kIoExp1B = 0x1B;
constexpr uint8_t kIoExpPower = 0x1F;
constexpr uint8_t kIoExpOutputRegister = 1;
constexpr uint8_t kIoExpDirectionRegister = 3;

// The output byte last written (or to be written by IoExpInit) to expander addr7; 0 for an
// address that is not an expander.
uint8_t IoExpShadow(uint8_t addr7);
// The shadows as at start-up: 0x1F and 0x18 all low, 0x19 and 0x1B 0x44. Nothing is written.
void IoExpResetShadows();

// 3 for dB >= 20, 2 for 6..19, 1 for -9..5, 0 for -10 or less.
int IoExpGainRangeCode(int db);

// For 0x1F, 0x1B, 0x19, 0x18 in this order: direction := all outputs, output := shadow.
void IoExpInit();
// Sets the gain range of analogue input 0-3 for the gain about to be written. -1 (and nothing
// written) for a channel above 3; else 0 whatever the bus did.
int IoExpSetGainRange(unsigned channel, int db);
// The entry point the command handlers, the configuration apply and the preset recall use.
int SetAnalogGainRange(unsigned channel, int db);
// Phantom supply of analogue input 0-3; reset line 0-1; enable line. Each writes 0x1F and then
// pauses another 100 us. Channels and lines out of range are ignored.
void IoExpSetPhantom(unsigned channel, int on);
void IoExpSetResetLine(unsigned line, int level);
void IoExpSetEnableLine(int level);
