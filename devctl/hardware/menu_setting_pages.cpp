// The pages that change a setting: phantom power, USB port, network mode.
#include <string>

#include "devctl/core/config_lock.h"
#include "devctl/core/markers.h"
#include "devctl/core/net_status.h"
#include "devctl/core/network_changes.h"
#include "devctl/core/unit_commit.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/menu_pages.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/system_changes.h"
#include "platform/clock.h"

namespace {

int Toggled(int value) { return value == 1 ? 0 : 1; }

int PhantomInput(const lcd_menu_s* menu) {
  return menu->item >= 0 && menu->item < 4 ? menu->item : 0;
}

int ConfiguredPhantom(int input) {
  ConfigReadLock lock;  // reads only
  return g_unit.config.analogue_input_phantom[input];
}

const char* OnOff(int value) { return value != 0 ? "ON" : "OFF"; }

constexpr int kOutcomeShownMs = 1000;

// The change's outcome on the panel: saved, or kept only until the unit restarts.
void DrawSaveOutcome(bool saved) {
  LcdShowCentered(0, saved ? "SUCCESS!!!" : "SAVE FAILED");
  LcdShowLeft(1, "");
}

// The outcome drawn and left a second on the panel. Outside the change's turn: the notices of
// other changes do not wait for the panel.
void ShowSaveOutcome(bool saved) {
  DrawSaveOutcome(saved);
  platform::SleepMs(kOutcomeShownMs);
}

void DrawPhantomConfigured(const lcd_menu_s* menu) {
  int input = PhantomInput(menu);
  LcdShowLeft(0, ("ANALOGUE CH" + std::to_string(input + 1)).c_str());
  LcdShowLeft(1, (std::string("PHANTOM PWR ") + OnOff(ConfiguredPhantom(input))).c_str());
}

void DrawPhantomConfirm(const lcd_menu_s* menu) {
  LcdShowLeft(0, (std::string("TURN ") + OnOff(menu->value) + " PHANTOM").c_str());
  LcdShowLeft(1, ("PWR CH" + std::to_string(PhantomInput(menu) + 1) + "?").c_str());
}

void ApplyPhantom(lcd_menu_s* menu) {
  menu->editing = 0;
  menu->confirm = 2;
  int input = PhantomInput(menu);
  int on = menu->value != 0 ? 1 : 0;
  const UnitCommit outcome = CommitUnitChange([input, on](UnitNotice& notice) {
    SetInputPhantom(input, on, notice.lines);
    return true;
  });
  ShowSaveOutcome(outcome.saved);
  menu->editing = 1;
  menu->confirm = 0;
  MenuGoTo(kHomePage);
}

const char* UsbPortName(int value) { return value == 1 ? "USB-B" : "USB-C"; }

void ApplyUsbPort(lcd_menu_s* menu) {
  menu->editing = 0;
  const int port = menu->value;
  // Saved and told even when the port already was the selected one.
  const UnitCommit outcome = CommitUnitChange([port](UnitNotice& notice) {
    SetUsbPort(port, notice.lines);
    return true;
  });
  ShowSaveOutcome(outcome.saved);
  MenuGoTo(kMainMenuPage);
}

int ConfiguredDhcp() {
  ConfigReadLock lock;  // reads only
  return g_unit.config.dhcp;
}

const char* DhcpName(int value) { return value != 0 ? "Auto" : "Static"; }

constexpr const char* kNetworkLabels = "DHCP IP GW SM";
constexpr const char* kNetworkHidden[4] = {"     IP GW SM", "DHCP    GW SM", "DHCP IP    SM",
                                           "DHCP IP GW"};

int NetworkItem(const lcd_menu_s* menu) {
  return menu->item >= 0 && menu->item < 4 ? menu->item : 0;
}

// Line 1 of the network page for the selected field.
void DrawNetworkValue(const lcd_menu_s* menu) {
  int item = NetworkItem(menu);
  if (item == 0) {
    LcdShowLeft(1, DhcpName(menu->value));
    return;
  }
  PanelAddresses a = UnitAddresses();
  const std::string& shown = item == 1 ? a.address : item == 2 ? a.gateway : a.mask;
  LcdShowCentered(1, PanelAddressText(shown).c_str());
}

void ApplyNetworkMode(lcd_menu_s* menu) {
  menu->editing = 0;
  const int dhcp = menu->value != 0 ? 1 : 0;
  if (dhcp == ConfiguredDhcp()) return;
  // The panel draws the outcome before the ports hear of the change and keeps it a second after
  // (outside the change's turn), then a saved mode restarts the unit. A mode that could not be
  // saved is taken back in the turn, dhcpcd.conf with it, and the ports are told the mode that
  // stands: the unit does not restart into a mode its settings do not have. A mode a port set
  // since the change is that port's and stays.
  const UnitCommit outcome = CommitUnitChange(
      [dhcp](UnitNotice& notice) { return ChangeDhcpMode(g_unit, dhcp, notice.lines); },
      [dhcp](const UnitCommit& outcome, UnitNotice& notice) {
        if (!outcome.changed) return;
        DrawSaveOutcome(outcome.saved);
        if (outcome.saved) return;
        ConfigLock lock;
        if (g_unit.config.dhcp == dhcp) ChangeDhcpMode(g_unit, Toggled(dhcp), notice.outcome_lines);
      });
  if (outcome.changed) {
    platform::SleepMs(kOutcomeShownMs);
    if (outcome.saved) RequestReboot();
  }
  MenuRedraw();
}

}  // namespace

int MenuPhantomEnter(lcd_menu_s* menu) {
  menu->editing = 1;
  menu->confirm = 0;
  menu->value = ConfiguredPhantom(PhantomInput(menu));
  DrawPhantomConfigured(menu);
  return 0;
}

int MenuPhantomRefresh(lcd_menu_s* menu) {
  if (menu->confirm == 1) {
    DrawPhantomConfirm(menu);
  } else if (menu->confirm == 0 && menu->editing == 1) {
    int phase = g_panel.blink_phantom = g_panel.blink_phantom == 0 ? 1 : 0;
    LcdShowLeft(
        1, phase != 0 ? "PHANTOM PWR" : (std::string("PHANTOM PWR ") + OnOff(menu->value)).c_str());
  } else if (menu->confirm == 0) {
    DrawPhantomConfigured(menu);
  }
  return 0;
}

int MenuPhantomKey(lcd_menu_s* menu, key_type_e key) {
  if (IsCommonKey(key)) return MenuCommonKey(menu, key);
  switch (key) {
    case KEY_TYPE_E_UP:
    case KEY_TYPE_E_DOWN:
      menu->editing = 1;
      menu->value = Toggled(menu->value);
      break;
    case KEY_TYPE_E_OK:
      if (menu->editing == 0) break;
      if (menu->confirm == 0) {
        menu->confirm = 1;
        DrawPhantomConfirm(menu);
      } else if (menu->confirm == 1) {
        ApplyPhantom(menu);
      }
      break;
    case KEY_TYPE_E_CANCEL:
      if (menu->editing != 0 && menu->confirm != 0) {
        menu->confirm = 0;
        MenuGoTo(kPhantomPage);
      } else {
        MenuGoTo(kHomePage);
      }
      break;
    case KEY_TYPE_E_RESET:
      MenuGoTo(kFactoryResetPage);
      break;
    default:
      break;
  }
  return 0;
}

int MenuUsbEnter(lcd_menu_s* menu) {
  menu->editing = 1;
  menu->item = 0;
  {
    ConfigReadLock lock;  // reads only
    menu->value = g_unit.config.usb_status;
  }
  LcdShowLeft(0, "USB Select");
  LcdShowLeft(1, UsbPortName(menu->value));
  return 0;
}

int MenuUsbRefresh(lcd_menu_s* menu) {
  if (menu->editing == 0) return 0;
  int phase = g_panel.blink_usb = g_panel.blink_usb == 0 ? 1 : 0;
  LcdShowLeft(1, phase != 0 ? "" : UsbPortName(menu->value));
  return 0;
}

int MenuUsbKey(lcd_menu_s* menu, key_type_e key) {
  if (IsCommonKey(key)) return MenuCommonKey(menu, key);
  switch (key) {
    case KEY_TYPE_E_UP:
    case KEY_TYPE_E_DOWN:
      menu->editing = 1;
      menu->value = Toggled(menu->value);
      break;
    case KEY_TYPE_E_OK:
      if (menu->editing != 0) ApplyUsbPort(menu);
      break;
    case KEY_TYPE_E_CANCEL:
      menu->editing = 0;
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

int MenuNetworkEnter(lcd_menu_s* menu) {
  menu->editing = 1;
  menu->item = 0;
  menu->value = ConfiguredDhcp();
  LcdShowLeft(0, kNetworkLabels);
  LcdShowLeft(1, DhcpName(menu->value));
  return 0;
}

int MenuNetworkRefresh(lcd_menu_s* menu) {
  if (menu->editing == 0) return 0;
  int phase = g_panel.blink_network = g_panel.blink_network == 0 ? 1 : 0;
  if (phase != 0) {
    LcdShowLeft(0, kNetworkHidden[NetworkItem(menu)]);
    if (NetworkItem(menu) == 0) LcdShowLeft(1, "");
  } else {
    LcdShowLeft(0, kNetworkLabels);
    DrawNetworkValue(menu);
  }
  return 0;
}

int MenuNetworkKey(lcd_menu_s* menu, key_type_e key) {
  if (IsCommonKey(key)) return MenuCommonKey(menu, key);
  switch (key) {
    case KEY_TYPE_E_LEFT:
    case KEY_TYPE_E_RIGHT: {
      int item = NetworkItem(menu);
      menu->item = key == KEY_TYPE_E_LEFT ? (item + 3) % 4 : (item + 1) % 4;
      menu->editing = 1;
      menu->value = ConfiguredDhcp();
      RefreshNetworkStatus();
      if (menu->item != 0) DrawNetworkValue(menu);
      break;
    }
    case KEY_TYPE_E_UP:
    case KEY_TYPE_E_DOWN:
      menu->editing = 1;
      if (NetworkItem(menu) == 0) menu->value = Toggled(menu->value);
      break;
    case KEY_TYPE_E_OK:
      if (NetworkItem(menu) == 0 && menu->editing != 0) ApplyNetworkMode(menu);
      break;
    case KEY_TYPE_E_CANCEL:
      menu->editing = 0;
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
