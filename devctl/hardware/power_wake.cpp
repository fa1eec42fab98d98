#include "devctl/hardware/power_wake.h"

#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"
#include "devctl/hardware/lcd.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_state.h"
#include "devctl/text/broadcast.h"

void WakeOnCommand(std::string*) {
  g_auto_standby_state = 1;
  ConfigLock lock;
  if (g_app_config.power != 0) return;
  BroadcastToPorts("[SUCCESS]Set system power on, please wait a moment...\r\n");
  g_app_config.power = 1;
  if (g_app_config.front_lcd > 0 && g_deep_sleep == 0 && !g_boot_screen_up) {
    LcdInit();
    ApplyPowerToPanel();
  }
}
