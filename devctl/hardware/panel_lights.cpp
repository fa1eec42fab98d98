#include "devctl/hardware/panel_lights.h"

#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_state.h"


namespace {

struct PanelSettings {
  int power;
  int powerled;
  int front_lcd;
};

PanelSettings Settings() {
  ConfigReadLock lock;  // reads only
  return {g_unit.config.power, g_unit.config.powerled, g_unit.config.front_lcd};
}

void Show(const PanelSettings& s, bool lit, bool redraw) {
  if (g_panel.boot_screen_up) return;
  if (!lit) {
    DarkenPanel(s.power, s.powerled);
    return;
  }
  LightPanel(s.power);
  void (*menu_redraw)() = g_panel.menu_redraw;
  if (redraw && s.power != 0 && menu_redraw) menu_redraw();
}

void Wake(bool redraw) {
  PanelSettings s = Settings();
  bool lit;
  if (s.front_lcd == 0) {
    g_power.backlight_countdown = 0;
    lit = false;
  } else if (s.front_lcd == 1) {
    g_power.backlight_countdown = 1;
    lit = true;
  } else if (BacklightCountdown(s.front_lcd) > 0) {
    g_power.backlight_countdown = BacklightCountdown(s.front_lcd);
    lit = true;
  } else {
    lit = g_power.backlight_countdown >= 1;
  }
  Show(s, lit, redraw);
}

}  // namespace

void DarkenPanel(int power, int powerled) {
  LcdSetBacklight(0);
  if (powerled != 0)
    LedShowNone();
  else
    LedShowPowerOnly(power);
}

void LightPanel(int power) {
  LcdSetBacklight(power != 0);
  LedShowAll(power);
}

void WakePanelLights() { Wake(false); }

void ApplyPowerToPanel() { Wake(true); }

void ApplyPanelLights() {
  PanelSettings s = Settings();
  bool lit;
  if (s.front_lcd == 0) {
    g_power.backlight_countdown = 0;
    lit = false;
  } else if (s.front_lcd == 1) {
    g_power.backlight_countdown = 1;
    lit = true;
  } else {
    lit = g_power.backlight_countdown > 0;
  }
  Show(s, lit, true);
}

int BacklightCountdown(int front_lcd) {
  switch (front_lcd) {
    case 2:
      return 30;
    case 3:
      return 60;
    case 4:
      return 120;
    default:
      return -1;
  }
}
