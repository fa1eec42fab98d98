#include "devctl/app/service_loop.h"

#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_state.h"
#include "devctl/text/control_ports.h"
#include "platform/clock.h"

namespace {

void BacklightStep() {
  if (g_panel.boot_screen_up) return;  // the boot screen keeps the panel; its end applies the lights
  int front_lcd, power, powerled;
  {
    ConfigReadLock lock;  // reads only
    front_lcd = g_unit.config.front_lcd;
    power = g_unit.config.power;
    powerled = g_unit.config.powerled;
  }
  int countdown = g_power.backlight_countdown;
  if (front_lcd == 1) {
    if (countdown == 1) return;
    g_power.backlight_countdown = 1;
    if (power != 0) LcdSetBacklight(1);
    LedShowAll(power);
  } else if (front_lcd == 0) {
    if (countdown == 0) return;
    g_power.backlight_countdown = 0;
    DarkenPanel(power, powerled);
  } else if (countdown > 0) {
    // A wake that reloaded the countdown meanwhile wins over this step.
    g_power.backlight_countdown.compare_exchange_strong(countdown, countdown - 1);
  } else if (countdown == 0) {
    if (!g_power.backlight_countdown.compare_exchange_strong(countdown, -1)) return;
    DarkenPanel(power, powerled);
  }
}

// A control port whose settings a command changed starts again from the live configuration. A
// network server's flag stays set until its restart has set it up again (the restart clears it).
void RestartRequestedPorts() {
  if (g_port_restarts.telnet) RestartTelnetServer();
  if (g_port_restarts.tcp) RestartTcpServer();
  if (g_port_restarts.uart.exchange(false)) RestartUart();
}

}  // namespace

void ServiceLoopPass() {
  RestartRequestedPorts();
  BacklightStep();
  if (ConfigLockTimingEnabled()) AppendConfigLockHolds(kConfigLockHoldsFile);
}

int RunServiceLoop() {
  for (;;) {
    platform::SleepMs(500);
    ServiceLoopPass();
  }
}
