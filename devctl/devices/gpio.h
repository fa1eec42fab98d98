// sysfs GPIO lines and LED class files. A line is exported, given a direction and its value
// file opened once ("/sys/class/gpio/gpio%d/value", O_RDWR | O_SYNC); the descriptor stays open
// for the life of the process. Levels are decimal text. Line numbers are below kGpioCount;
// others are refused with a message.
//
// Opening a line: GpioOpen (exports it when missing), then GpioSetOut or GpioSetIn, then for
// outputs usually a first GpioWrite.
#pragma once

#include <cstdint>

constexpr int kGpioCount = 160;

// Writes the number to /sys/class/gpio/export. 0, or -1 with "fail to open device!".
int GpioExport(int gpio);
// Writes the number to /sys/class/gpio/unexport. 0, or -1 with "has no this gpio!". No caller
// yet: the counterpart of GpioExport, for a line given back before the program ends.
int GpioUnexport(int gpio);
// 0 when /sys/class/gpio/gpio%d exists.
int GpioExists(int gpio);
// Writes "out" or "in" to the line's direction file. 0, or -1 with "fail to device!".
int GpioSetDirection(int gpio, const char* dir);
// Export when missing, then direction "out" / "in".
void GpioSetOut(int gpio);
void GpioSetIn(int gpio);
// Exports when missing and opens the value file unless it is open already. 0, or -1 with
// "open gpio%d failed".
int GpioOpen(int gpio);
// The level of an open line (decimal value & 0xFF); 255 when nothing could be read, and 255 with
// "gpio %d not open" for a line that is not open.
int GpioRead(int gpio);
// Writes "0"/"1" (any 0-255 as decimal) to an open line; "gpio %d not open" otherwise.
void GpioWrite(int gpio, uint8_t value);
// Closes every open value file (lines stay exported). For tests that start from a fresh sysfs.
void GpioCloseAll();

// Writes value as "%d" (no newline) to a sysfs file such as an LED brightness; a file that does
// not open is skipped silently.
void WriteSysfsInt(const char* path, int value);
