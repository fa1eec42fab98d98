// The front-panel LED driver chip: three-wire serial interface (STB GPIO 54, CLK 59, DIO 60),
// 14 bytes of display memory, one-byte commands. devctl shows three fixed patterns.
#pragma once

#include <cstdint>

// Display-control commands by brightness level 0-8.
extern const uint8_t g_led_brightness_cmd[9];

// Lines, then the chip: mode, full brightness, display memory cleared.
void InitFrontLeds();
void LedDrvGpioInit();
void LedDrvInit();
// One frame holding a single command byte.
void LedDrvCommand(uint8_t cmd);
// Data command, 1 us, then address command 0xC0 | addr with the data bytes.
void LedDrvWrite(uint8_t addr, const uint8_t* data, uint8_t len);
// Levels above 8 are taken as 8.
void LedDrvSetBrightness(uint8_t level);
// One frame under g_led_mutex: STB low, the command bytes, the data bytes, STB high.
void LedDrvTransfer(const uint8_t* cmd, uint8_t ncmd, const uint8_t* data, int16_t ndata);
// Least significant bit first; DIO is set while CLK is low, then CLK rises.
void LedDrvShiftByte(uint8_t value);
int LedDrvReadDio();
void LedDrvDelay();

// Every panel LED with the power state / the power LED alone / all off. Each is written twice.
void LedShowAll(int powered);
void LedShowPowerOnly(int powered);
void LedShowNone();
