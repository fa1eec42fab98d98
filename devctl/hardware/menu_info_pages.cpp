// The pages that show and navigate: home, main menu, Tarvo address, versions, factory reset.
#include <string>

#include "devctl/core/config_lock.h"
#include "devctl/core/net_status.h"
#include "devctl/core/network_files.h"
#include "devctl/core/reset_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/menu_pages.h"
#include "platform/clock.h"

namespace {

constexpr const char* kMainMenuItems[4] = {"1.USB Select", "2.Network Config", "3.Tarvo IP",
                                           "4.F/W Version"};

// A version without its one-letter prefix.
std::string WithoutFirst(const std::string& version) {
  return version.empty() ? std::string() : version.substr(1);
}

// The network status is queried before (the page's on_prepare).
void DrawHome() {
  LcdShowCentered(0, PanelModelName().c_str());
  LcdShowCentered(1, PanelAddressText(UnitAddresses().address).c_str());
}

void DrawTarvoIp() {
  LcdShowLeft(0, "Tarvo 8CH");
  LcdShowCentered(1, PanelAddressText(UnitAddresses().address).c_str());
}

void DrawVersion(int view) {
  std::string main_version, netaudio;
  {
    ConfigReadLock lock;  // reads only
    main_version = g_unit.identity.main_version;
    netaudio = g_unit.identity.netaudio_version;
  }
  switch (view) {
    case 0:
      LcdShowLeft(0, "F/W Version:");
      LcdShowLeft(1, ("MAIN " + WithoutFirst(main_version)).c_str());
      break;
    case 1:
      LcdShowLeft(0, "GUI");
      LcdShowLeft(1, WithoutFirst(main_version).c_str());
      break;
    default:
      LcdShowLeft(0, "Tarvo 8H");
      LcdShowLeft(1, WithoutFirst(netaudio).c_str());
      break;
  }
}

void DrawFactoryReset() {
  LcdShowCentered(0, "FACTORY RESET?");
  LcdShowLeft(1, "");
}

void FactoryReset(lcd_menu_s* menu) {
  menu->editing = 1;
  LcdShowLeft(0, "RESETING,");
  LcdShowLeft(1, "PLEASE WAIT...");
  platform::SleepMs(2000);
  ResetAllFromUnit(g_unit, [](const char* line) { SendPanelText(line); });
}

}  // namespace

int MenuHomeEnter(lcd_menu_s*) {
  DrawHome();
  return 0;
}

int MenuHomeRefresh(lcd_menu_s*) {
  DrawHome();
  return 0;
}

int MenuHomeKey(lcd_menu_s* menu, key_type_e key) {
  if (IsCommonKey(key)) return MenuCommonKey(menu, key);
  if (key == KEY_TYPE_E_RESET) MenuGoTo(kFactoryResetPage);
  return 0;
}

int MenuMainEnter(lcd_menu_s* menu) {
  menu->item = menu->editing = menu->value = 0;
  LcdShowLeft(0, kMainMenuItems[0]);
  LcdShowLeft(1, "");
  return 0;
}

int MenuMainRefresh(lcd_menu_s*) { return 0; }

int MenuMainKey(lcd_menu_s* menu, key_type_e key) {
  if (IsCommonKey(key)) return MenuCommonKey(menu, key);
  int item = menu->item < 0 || menu->item > 3 ? 0 : menu->item;
  switch (key) {
    case KEY_TYPE_E_UP:
    case KEY_TYPE_E_DOWN:
      item = key == KEY_TYPE_E_UP ? (item + 3) % 4 : (item + 1) % 4;
      menu->item = item;
      LcdShowLeft(0, kMainMenuItems[item]);
      break;
    case KEY_TYPE_E_OK:
      MenuGoTo(kUsbPage + item);
      break;
    case KEY_TYPE_E_CANCEL:
      MenuGoTo(kHomePage);
      break;
    case KEY_TYPE_E_RESET:
      MenuGoTo(kFactoryResetPage);
      break;
    default:
      break;
  }
  return 0;
}

int MenuTarvoIpEnter(lcd_menu_s* menu) {
  menu->item = menu->editing = menu->value = 0;
  DrawTarvoIp();
  return 0;
}

int MenuTarvoIpRefresh(lcd_menu_s*) {
  DrawTarvoIp();
  return 0;
}

int MenuTarvoIpKey(lcd_menu_s* menu, key_type_e key) {
  if (IsCommonKey(key)) return MenuCommonKey(menu, key);
  if (key == KEY_TYPE_E_CANCEL) MenuGoTo(kMainMenuPage);
  if (key == KEY_TYPE_E_RESET) MenuGoTo(kFactoryResetPage);
  return 0;
}

int MenuVersionEnter(lcd_menu_s* menu) {
  menu->item = menu->editing = menu->value = 0;
  DrawVersion(0);
  return 0;
}

int MenuVersionRefresh(lcd_menu_s* menu) {
  DrawVersion(menu->item);
  return 0;
}

int MenuVersionKey(lcd_menu_s* menu, key_type_e key) {
  if (IsCommonKey(key)) return MenuCommonKey(menu, key);
  int item = menu->item < 0 || menu->item > 2 ? 0 : menu->item;
  switch (key) {
    case KEY_TYPE_E_UP:
    case KEY_TYPE_E_DOWN:
      menu->item = key == KEY_TYPE_E_UP ? (item + 2) % 3 : (item + 1) % 3;
      DrawVersion(menu->item);
      break;
    case KEY_TYPE_E_CANCEL:
      MenuGoTo(kMainMenuPage);
      break;
    case KEY_TYPE_E_RESET:
      MenuGoTo(kFactoryResetPage);
      break;
    default:
      break;
  }
  return 0;
}

int MenuFactoryResetEnter(lcd_menu_s* menu) {
  menu->item = menu->editing = menu->value = 0;
  DrawFactoryReset();
  return 0;
}

int MenuFactoryResetRefresh(lcd_menu_s* menu) {
  if (menu->editing == 0) DrawFactoryReset();
  return 0;
}

int MenuFactoryResetKey(lcd_menu_s* menu, key_type_e key) {
  if (IsCommonKey(key)) return MenuCommonKey(menu, key);
  if (key == KEY_TYPE_E_OK) {
    FactoryReset(menu);
  } else if (key == KEY_TYPE_E_CANCEL) {
    menu->editing = 1;
    LcdShowCentered(0, "CANCELED");
    LcdShowLeft(1, "");
    platform::SleepMs(2000);
    menu->editing = 0;
    MenuGoTo(kHomePage);
  }
  return 0;
}
