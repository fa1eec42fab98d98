#include "devctl/devices/front_panel_shutdown.h"

#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/lcd.h"

std::atomic<int> g_panel_thread_stop{0};

void ShutdownFrontPanel() {
  g_panel_thread_stop = 1;
  LcdClear();
  LedShowNone();
  LcdSetBacklight(0);
  GpioWrite(kGpioSleep, 1);
}
