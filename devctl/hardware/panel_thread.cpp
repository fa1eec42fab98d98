#include "devctl/hardware/panel_thread.h"

#include <string>
#include <thread>

#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/front_panel_shutdown.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/key_controller.h"
#include "devctl/hardware/menu_pages.h"
#include "devctl/hardware/menu_pages_lock.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power.h"
#include "devctl/hardware/power_state.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/storage.h"

#include <cstdio>

namespace {

constexpr int kBootRounds = 5;
constexpr int kPassesPerRefresh = 25;
constexpr int kIdleTicksBeforeHome = 80;
constexpr const char* kWakeMarker = "/oem/auto_standy";

struct PanelSettings {
  int power;
  int front_lcd;
  int key_lock;
};

PanelSettings Settings() {
  ConfigReadLock lock;  // reads only
  return {g_unit.config.power, g_unit.config.front_lcd, g_unit.config.key_lock};
}

void ShowNotice(int notice) {
  PanelSettings s = Settings();
  LcdShowCentered(0, s.key_lock != 0 ? "Key Is Locked" : "Key Is Unlocked");
  LcdShowLeft(1, "");
  if (notice != 1) return;
  for (int flash = 0; flash < 3; ++flash) {
    if (flash > 0) platform::SleepMs(250);
    LedShowNone();
    platform::SleepMs(250);
    LedShowAll(s.power);
  }
}

void RefreshCurrentPage() {
  int page = g_panel.lcd_page;
  for (lcd_menu_s& m : g_panel.menu)
    if (m.id == page && m.on_refresh) m.on_refresh(&m);
}

}  // namespace

void ShowBootScreen() {
  g_panel.boot_screen_up = true;
  const std::string marker = platform::Path(kWakeMarker);
  if (std::remove(marker.c_str()) != 0) {
    static const char* const kBooting[3] = {"    Booting.    ", "    Booting..   ",
                                            "   Booting...   "};
    for (int round = 0; round < kBootRounds; ++round) {
      for (const char* text : kBooting) {
        LcdWrite(0, 0, text, 16);
        platform::SleepMs(1000);
      }
    }
    return;
  }
  LcdShowCentered(0, PanelModelName().c_str());
  static const char* const kWait[3] = {"Please wait.", "Please wait..", "Please wait..."};
  for (int round = 0; round < kBootRounds; ++round) {
    for (const char* text : kWait) {
      LcdShowCentered(1, text);
      platform::SleepMs(1000);
    }
  }
}

void FinishBoot() {
  ApplyPowerRails(Settings().power != 0);
  g_panel.boot_screen_up = false;
  {
    MenuPagesLock pages;
    g_panel.lcd_page = kHomePage;
    g_panel.menu_redraw = MenuRedraw;
    RedrawHeldPage();
  }
  ApplyPowerToPanel();
}

void PanelLoopPass(int* passes) {
  int notice = g_panel.notice;
  if (notice != 0) {
    ShowNotice(notice);
    g_panel.notice = 0;
    *passes = 0;
    return;
  }
  if (++*passes < kPassesPerRefresh) return;
  *passes = 0;
  // Read before the page and the settings: a key handled from here on wins over this drawing.
  LcdDrawScope scope(g_panel.key_generation, g_panel.key_generation.load());
  // The slow part first, so that keys are not held up by it.
  PrepareCurrentPage();
  MenuPagesLock pages;
  if (g_panel.lcd_page != kHomePage && ++g_panel.idle_ticks > kIdleTicksBeforeHome) g_panel.lcd_page = kHomePage;
  PanelSettings s = Settings();
  if (s.power == 1 && (s.front_lcd == 1 || g_power.backlight_countdown > 0)) {
    RefreshCurrentPage();
  } else {
    LcdShowLeft(0, "");
    LcdShowLeft(1, "");
  }
}

void RunPanelThread() {
  platform::UseShortTimerSlack();
  LcdBacklightOn();
  InitKeyController();
  ShowBootScreen();
  FinishBoot();
  StartKeyThread();
  int passes = 0;
  while (!PanelThreadStopRequested()) {
    PanelLoopPass(&passes);
    platform::SleepMs(10);
  }
}

void StartPanelThread() {
  g_panel.boot_screen_up = true;  // before the power worker's first pass can draw
  std::thread(RunPanelThread).detach();
}
