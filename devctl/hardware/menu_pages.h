// The pages of the front-panel menu and the helpers they share. Key handlers run on the key
// thread, refresh handlers on the panel thread; enter handlers draw a page afresh. All of them run
// with the pages held (MenuPagesLock, menu_pages_lock.h).
#pragma once

#include <string>

#include "devctl/hardware/lcd_menu.h"

// Redraws the current page, from any thread: at once when the pages are free (or this thread's),
// else by their holder as it lets them go.
void MenuRedraw();
// The current page's preparation (lcd_menu_s::on_prepare), without the pages held.
void PrepareCurrentPage();
// Calls the enter handler of the current page (nothing when no record matches); with the pages
// held, in the caller's LcdDrawScope.
void DrawCurrentPage();
// Prepares and draws the current page for the holder of the pages, with the key generation of now.
void RedrawHeldPage();
// Selects analogue input ch on the phantom page; with the pages held.
void MenuSelectPhantomChannel(unsigned ch);
// The keys that act alike on most pages: 1-4, MENU and POWER.
bool IsCommonKey(key_type_e key);
// What those keys (and RESET) do.
int MenuCommonKey(lcd_menu_s* menu, key_type_e key);

int MenuHomeKey(lcd_menu_s* menu, key_type_e key);
int MenuHomeRefresh(lcd_menu_s* menu);
int MenuHomeEnter(lcd_menu_s* menu);
int MenuPhantomKey(lcd_menu_s* menu, key_type_e key);
int MenuPhantomRefresh(lcd_menu_s* menu);
int MenuPhantomEnter(lcd_menu_s* menu);
int MenuMainKey(lcd_menu_s* menu, key_type_e key);
int MenuMainRefresh(lcd_menu_s* menu);
int MenuMainEnter(lcd_menu_s* menu);
int MenuUsbKey(lcd_menu_s* menu, key_type_e key);
int MenuUsbRefresh(lcd_menu_s* menu);
int MenuUsbEnter(lcd_menu_s* menu);
int MenuNetworkKey(lcd_menu_s* menu, key_type_e key);
int MenuNetworkRefresh(lcd_menu_s* menu);
int MenuNetworkEnter(lcd_menu_s* menu);
int MenuTarvoIpKey(lcd_menu_s* menu, key_type_e key);
int MenuTarvoIpRefresh(lcd_menu_s* menu);
int MenuTarvoIpEnter(lcd_menu_s* menu);
int MenuVersionKey(lcd_menu_s* menu, key_type_e key);
int MenuVersionRefresh(lcd_menu_s* menu);
int MenuVersionEnter(lcd_menu_s* menu);
int MenuFactoryResetKey(lcd_menu_s* menu, key_type_e key);
int MenuFactoryResetRefresh(lcd_menu_s* menu);
int MenuFactoryResetEnter(lcd_menu_s* menu);

// Helpers of the pages.
// The model name as the panel shows it (first 16 characters).
std::string PanelModelName();
// An address as "%03d.%03d.%03d.%03d" (unparsable parts show as 000).
std::string PanelAddressText(const std::string& address);
// The unit's address, gateway and mask: the live ones when DHCP is on and eth0 has an address,
// else the configured static ones.
struct PanelAddresses {
  std::string address, gateway, mask;
};
PanelAddresses UnitAddresses();
// Goes to page id and draws it; with the pages held.
void MenuGoTo(int page);
// Sends a panel change's text to the raw TCP clients, the telnet clients and the RS-232 port.
void SendPanelText(const std::string& text);
