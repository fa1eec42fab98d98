#include "devctl/hardware/front_panel_shutdown.h"

#include "devctl/hardware/board_lines.h"
#include "devctl/hardware/front_leds.h"
#include "devctl/hardware/gpio.h"
#include "devctl/hardware/lcd.h"

std::atomic<int> g_panel_thread_stop{0};

void ShutdownFrontPanel() {
  g_panel_thread_stop = 1;
  LcdClear();
  LedShowNone();
  LcdSetBacklight(0);
  GpioWrite(kGpioSleep, 1);
}
