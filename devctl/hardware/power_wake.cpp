#include "devctl/hardware/power_wake.h"

#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"
#include "devctl/core/notices.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_state.h"
#include "devctl/hardware/system_changes.h"

void WakeOnCommand(std::string* notice) {
  g_auto_standby_state = 1;
  {
    ConfigLock lock;
    if (g_app_config.power != 0) return;
    g_app_config.power = 1;
    if (g_app_config.front_lcd > 0 && g_deep_sleep == 0 && !g_boot_screen_up) {
      LcdInit();
      ApplyPowerToPanel();
    }
    if (notice) {
      *notice += kSystemPowerOnLine;
      return;
    }
  }
  SendNotice(kSystemPowerOnLine);
}
