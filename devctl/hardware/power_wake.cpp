#include "devctl/hardware/power_wake.h"

#include "devctl/core/config_lock.h"
#include "devctl/core/notices.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_state.h"
#include "devctl/hardware/system_changes.h"

void WakeOnCommand(std::string& notice) {
  g_power.auto_standby_state = 1;
  ConfigLock lock;
  if (g_unit.config.power != 0) return;
  g_unit.config.power = 1;
  if (g_unit.config.front_lcd > 0 && g_power.deep_sleep == 0 && !g_panel.boot_screen_up) {
    LcdInit();
    ApplyPowerToPanel();
  }
  notice += kSystemPowerOnLine;
}
