// Access routines of the board's three I2C buses (i2c-dev): bus 3 the two DSPs, bus 4 the four
// I/O expanders, bus 5 the front-panel key controller.
//
// Every call is self-contained: lock the bus mutex, open "/dev/i2c-N", claim the target address,
// transfer, close, unlock. Results: 0 success, 255 failure (with a one-line message on standard
// output where the routine has one). Nothing retries.
//
// Address forms: the bus-3 and bus-5 routines take the 8-bit form (7-bit address << 1), the
// bus-4 routine the 7-bit address.
#pragma once

#include <cstdint>

// Bus addresses of the devices.
constexpr uint8_t kDspAAddress8 = 0x70;
constexpr uint8_t kDspBAddress8 = 0x72;
constexpr uint8_t kKeyControllerAddress8 = 0x48;

// Largest data count of one write (the register address goes in front of it).
constexpr uint32_t kI2cMaxWriteData = 1048576 - 2;
// Largest count of one I2cBus5Read.
constexpr uint16_t kI2cBus5MaxRead = 8;

// One write of [register (2 bytes, MSB first), n data bytes] on bus 3. A failed write prints
// "i2c write error!".
int I2cBus3Write16(uint8_t address8, uint16_t reg, const uint8_t* data, uint32_t n);
// Combined transfer on bus 3: write the 2 register bytes, read 4 bytes into out in bus order.
// On failure out is left as it was.
int I2cBus3Read16(uint8_t address8, uint16_t reg, uint8_t out[4]);
// One write of [register, n data bytes] on bus 4, then 100 us after the bus is released (on
// every path). Failures are silent.
int I2cBus4Write(uint8_t address7, uint8_t reg, const uint8_t* data, uint32_t n);
// One write of [register, n data bytes] on bus 5.
int I2cBus5Write(uint8_t address8, uint8_t reg, const uint8_t* data, uint32_t n);
// n combined transfers on bus 5: transfer i writes register reg + i (1 byte, or 2 bytes MSB
// first when reg16 is 1) and reads n bytes; out[i] := byte i of that read. n = 0 touches nothing;
// n above kI2cBus5MaxRead is refused with 255.
int I2cBus5Read(uint8_t address8, uint32_t reg, uint8_t* out, uint16_t n, int reg16);
// n three-byte writes on bus 5: [reg + i low byte, 0x00, data[i]], or with reg16 [reg + i high,
// reg + i low, data[i]]. No caller yet: kept for a device on bus 5 written a byte per register.
int I2cBus5WriteBytes(uint8_t address8, uint32_t reg, const uint8_t* data, uint16_t n, int reg16);
