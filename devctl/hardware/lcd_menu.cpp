#include "devctl/hardware/lcd_menu.h"

#include "devctl/hardware/menu_pages.h"

lcd_menu_s g_lcd_menu[kLcdMenuPages] = {
    {kHomePage, MenuHomeKey, MenuHomeRefresh, MenuHomeEnter},
    {kPhantomPage, MenuPhantomKey, MenuPhantomRefresh, MenuPhantomEnter},
    {kMainMenuPage, MenuMainKey, MenuMainRefresh, MenuMainEnter},
    {kUsbPage, MenuUsbKey, MenuUsbRefresh, MenuUsbEnter},
    {kNetworkPage, MenuNetworkKey, MenuNetworkRefresh, MenuNetworkEnter},
    {kTarvoIpPage, MenuTarvoIpKey, MenuTarvoIpRefresh, MenuTarvoIpEnter},
    {kVersionPage, MenuVersionKey, MenuVersionRefresh, MenuVersionEnter},
    {kFactoryResetPage, MenuFactoryResetKey, MenuFactoryResetRefresh, MenuFactoryResetEnter},
};
