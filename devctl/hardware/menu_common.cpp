#include <cstdio>
#include <string>

#include "devctl/core/config_lock.h"
#include "devctl/core/net_status.h"
#include "devctl/core/notices.h"
#include "devctl/core/unit_commit.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/menu_pages.h"
#include "devctl/hardware/menu_pages_lock.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_state.h"
#include "devctl/hardware/system_changes.h"

namespace {

// The key toggles the power, so it always changes.
const PowerLines kPanelPowerLines = {kSystemPowerOnLine, kSystemPowerOffLine, nullptr, nullptr};

int PowerSetting() {
  ConfigReadLock lock;  // reads only
  return g_unit.config.power;
}

void TogglePower() {
  CommitUnitChange([](UnitNotice& notice) {
    SetPower(g_unit.config.power != 0 ? 0 : 1, kPanelPowerLines, notice.lines);
    notice.prompt = g_unit.config.model + ">";
    return true;
  });
}

}  // namespace

bool IsCommonKey(key_type_e key) {
  return (key >= KEY_TYPE_E_1 && key <= KEY_TYPE_E_4) || key == KEY_TYPE_E_MENU ||
         key == KEY_TYPE_E_POWER;
}

// Drawn for the key generation read first: a key handled meanwhile has drawn its own page.
void MenuRedraw() {
  const unsigned seen = g_panel.key_generation.load();
  PrepareCurrentPage();
  MenuPagesLock pages(std::try_to_lock);
  if (!pages.owns()) {
    LeaveRedrawToPagesHolder();
    return;
  }
  LcdDrawScope scope(g_panel.key_generation, seen);
  DrawCurrentPage();
}

void PrepareCurrentPage() {
  int page = g_panel.lcd_page;
  for (const lcd_menu_s& m : g_panel.menu) {
    if (m.id == page) {
      if (m.on_prepare) m.on_prepare();
      return;
    }
  }
}

void RedrawHeldPage() {
  LcdDrawScope scope(g_panel.key_generation, g_panel.key_generation.load());
  PrepareCurrentPage();
  DrawCurrentPage();
}

void DrawCurrentPage() {
  int page = g_panel.lcd_page;
  for (lcd_menu_s& m : g_panel.menu) {
    if (m.id == page && m.on_enter) {
      m.on_enter(&m);
      return;
    }
  }
}

void MenuSelectPhantomChannel(unsigned ch) {
  for (lcd_menu_s& m : g_panel.menu) {
    if (m.id == kPhantomPage) {
      m.item = int(ch);
      return;
    }
  }
}

int MenuCommonKey(lcd_menu_s*, key_type_e key) {
  switch (key) {
    case KEY_TYPE_E_1:
    case KEY_TYPE_E_2:
    case KEY_TYPE_E_3:
    case KEY_TYPE_E_4:
      MenuSelectPhantomChannel(unsigned(key - KEY_TYPE_E_1));
      g_panel.lcd_page = kPhantomPage;
      break;
    case KEY_TYPE_E_MENU:
      g_panel.lcd_page = kMainMenuPage;
      break;
    case KEY_TYPE_E_POWER:
      TogglePower();
      break;
    case KEY_TYPE_E_RESET:
      g_panel.lcd_page = kFactoryResetPage;
      MenuRedraw();
      break;
    default:
      break;
  }
  if (PowerSetting() == 1) MenuRedraw();
  return 0;
}

std::string PanelModelName() {
  ConfigReadLock lock;  // reads only
  return g_unit.config.model.substr(0, 16);
}

std::string PanelAddressText(const std::string& address) {
  int a = 0, b = 0, c = 0, d = 0;
  std::sscanf(address.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d);
  char text[64];
  std::snprintf(text, sizeof text, "%03d.%03d.%03d.%03d", a, b, c, d);
  return text;
}

PanelAddresses UnitAddresses() {
  ConfigReadLock lock;  // reads only
  bool live = g_unit.config.dhcp != 0 && !g_unit.net_status.ipaddress.empty() &&
              g_unit.net_status.ipaddress != "0.0.0.0";
  if (live) return {g_unit.net_status.ipaddress, g_unit.net_status.gateway, g_unit.net_status.subnet};
  return {g_unit.config.ipaddress, g_unit.config.gateway, g_unit.config.subnet};
}

void MenuGoTo(int page) {
  g_panel.lcd_page = page;
  MenuRedraw();
}

void SendPanelText(const std::string& text) { SendNotice(text); }
