// The front panel's LCD menu: one record per page with its key, refresh and enter handlers.
#pragma once

#include <functional>

// Front-panel key codes as handed to the page key handlers.
enum key_type_e {
  KEY_TYPE_E_NONE = 0,
  KEY_TYPE_E_1 = 1,
  KEY_TYPE_E_2 = 2,
  KEY_TYPE_E_3 = 3,
  KEY_TYPE_E_4 = 4,
  KEY_TYPE_E_MENU = 5,
  KEY_TYPE_E_POWER = 6,
  KEY_TYPE_E_LEFT = 7,
  KEY_TYPE_E_RIGHT = 8,
  KEY_TYPE_E_UP = 9,
  KEY_TYPE_E_DOWN = 10,
  KEY_TYPE_E_OK = 11,
  KEY_TYPE_E_CANCEL = 12,
  KEY_TYPE_E_RESET = 13,
};

// The page ids. The main menu's items 1-4 open the pages from kUsbPage on, in that order.
enum MenuPageId : int {
  kHomePage = 2,
  kPhantomPage = 3,
  kMainMenuPage = 4,
  kUsbPage = 5,
  kNetworkPage = 6,
  kTarvoIpPage = 7,
  kVersionPage = 8,
  kFactoryResetPage = 9,
};

struct lcd_menu_s {
  int id = 0;  // page id (MenuPageId)
  std::function<int(lcd_menu_s*, key_type_e)> on_key;
  std::function<int(lcd_menu_s*)> on_refresh;
  std::function<int(lcd_menu_s*)> on_enter;
  // What the page needs before it is drawn that may take long (a query of the network status),
  // made without the pages held; nullptr for none. Touches no page record.
  std::function<void()> on_prepare;
  int item = 0;
  int editing = 0;
  int value = 0;
  int confirm = 0;
};

constexpr int kLcdMenuPages = 8;
