// The board's GPIO lines and LED class devices by role, and the one-line setters that drive
// them. The LCD, LED-driver and key lines are driven by their own modules.
#pragma once

#include <cstdint>

// GPIO line numbers (kernel numbering).
constexpr int kGpioHeartbeat = 6;
constexpr int kGpioLcdBacklight = 11;
constexpr int kGpioLcdPower = 12;
constexpr int kGpioLcdLatch = 13;
constexpr int kGpioLcdClock = 14;
constexpr int kGpioLcdData = 18;
constexpr int kGpioLcdRw = 19;
constexpr int kGpioLcdRs = 20;
constexpr int kGpioLcdEnable = 21;
constexpr int kGpioUsbCDetect = 43;
constexpr int kGpioUsbBDetect = 44;
constexpr int kGpioReboot47 = 47;
constexpr int kGpioReboot48 = 48;
constexpr int kGpioUsbButton = 49;
// Phantom supply of analogue inputs 1-4 (input 1 on 53).
constexpr int kGpioPhantom[4] = {53, 52, 51, 50};
constexpr int kGpioLedStb = 54;
constexpr int kGpioLedClk = 59;
constexpr int kGpioLedDio = 60;
constexpr int kGpioSleep = 107;
constexpr int kGpioUsbReset1 = 108;
constexpr int kGpioUsbReset2 = 109;
constexpr int kGpioUsbSelect = 112;  // 1 = USB-C, 0 = USB-B
constexpr int kGpioAudioMute = 113;  // 1 = muted
constexpr int kGpioResetKey = 121;

// LED class brightness files (255 on, 0 off).
constexpr const char kLedPower3v3[] = "/sys/class/leds/gpio-power3v3/brightness";
constexpr const char kLedUsbB[] = "/sys/class/leds/gpio1_b7/brightness";
constexpr const char kLedUsbC[] = "/sys/class/leds/gpio1_c0/brightness";

// GPIO 113 := (on != 0). 0.
void SetAudioMuteGpio(int on);
// GPIO 108 then 109 := (level != 0). 0.
void SetUsbResetGpios(int level);
// GPIO 48 then 47 := 0 (lines that nothing opens: each write prints the not-open message). 0.
void ClearRebootGpios();
// Phantom line of analogue input ch (0-3) := value; other channels: nothing.
void SetPhantomGpio(int ch, uint8_t value);
// The 3.3 V rail switch: 255 when on != 0, else 0. 0.
void SetPower3v3(int on);
// Port 0 (USB-C): GPIO 112 := 1, USB-B LED off, USB-C LED on; any other port (USB-B): GPIO
// 112 := 0, USB-B LED on, USB-C LED off. 0.
void SetUsbPortLeds(int port);
// Both USB LEDs on or off (the blink step of the USB worker). 0.
void SetBothUsbLeds(int on);
// Start-up: 107 output := 0; 3.3 V on; 112 output (not written); 108 := 1; 109 := 1; 113 := 0.
void InitPowerGpios();
