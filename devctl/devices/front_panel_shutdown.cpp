#include "devctl/devices/front_panel_shutdown.h"

#include <atomic>

#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/lcd.h"

#include "platform/state_resets.h"

namespace {

std::atomic<int> g_panel_thread_stop{0};
const platform::StateReset kReset([] { g_panel_thread_stop = 0; });

}  // namespace

bool PanelThreadStopRequested() { return g_panel_thread_stop != 0; }

void ShutdownFrontPanel() {
  g_panel_thread_stop = 1;
  LcdClear();
  LedShowNone();
  LcdSetBacklight(0);
  GpioWrite(kGpioSleep, 1);
}
