#include "devctl/devices/board_lines.h"

#include "devctl/devices/gpio.h"

namespace {

void OpenOutput(int gpio) {
  GpioOpen(gpio);
  GpioSetOut(gpio);
}

}  // namespace

void SetAudioMuteGpio(int on) { GpioWrite(kGpioAudioMute, on != 0); }

void SetUsbResetGpios(int level) {
  GpioWrite(kGpioUsbReset1, level != 0);
  GpioWrite(kGpioUsbReset2, level != 0);
}

void ClearRebootGpios() {
  GpioWrite(kGpioReboot48, 0);
  GpioWrite(kGpioReboot47, 0);
}

void SetPhantomGpio(int ch, uint8_t value) {
  if (ch < 0 || ch > 3) return;
  GpioWrite(kGpioPhantom[ch], value);
}

void SetPower3v3(int on) { WriteSysfsInt(kLedPower3v3, on != 0 ? 255 : 0); }

void SetUsbPortLeds(int port) {
  if (port == 0) {
    GpioWrite(kGpioUsbSelect, 1);
    WriteSysfsInt(kLedUsbB, 0);
    WriteSysfsInt(kLedUsbC, 255);
  } else {
    GpioWrite(kGpioUsbSelect, 0);
    WriteSysfsInt(kLedUsbB, 255);
    WriteSysfsInt(kLedUsbC, 0);
  }
}

void SetBothUsbLeds(int on) {
  int v = on != 0 ? 255 : 0;
  WriteSysfsInt(kLedUsbB, v);
  WriteSysfsInt(kLedUsbC, v);
}

void InitPowerGpios() {
  OpenOutput(kGpioSleep);
  GpioWrite(kGpioSleep, 0);
  SetPower3v3(1);
  OpenOutput(kGpioUsbSelect);
  OpenOutput(kGpioUsbReset1);
  GpioWrite(kGpioUsbReset1, 1);
  OpenOutput(kGpioUsbReset2);
  GpioWrite(kGpioUsbReset2, 1);
  OpenOutput(kGpioAudioMute);
  GpioWrite(kGpioAudioMute, 0);
}
