#include "devctl/hardware/lcd_menu.h"

#include "devctl/hardware/menu_pages.h"

lcd_menu_s g_lcd_menu[kLcdMenuPages] = {
    {2, MenuHomeKey, MenuHomeRefresh, MenuHomeEnter},
    {3, MenuPhantomKey, MenuPhantomRefresh, MenuPhantomEnter},
    {4, MenuMainKey, MenuMainRefresh, MenuMainEnter},
    {5, MenuUsbKey, MenuUsbRefresh, MenuUsbEnter},
    {6, MenuNetworkKey, MenuNetworkRefresh, MenuNetworkEnter},
    {7, MenuTarvoIpKey, MenuTarvoIpRefresh, MenuTarvoIpEnter},
    {8, MenuVersionKey, MenuVersionRefresh, MenuVersionEnter},
    {9, MenuFactoryResetKey, MenuFactoryResetRefresh, MenuFactoryResetEnter},
};
