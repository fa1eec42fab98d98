#include "devctl/core/globals.h"
#include "devctl/hardware/menu_pages.h"

// Keep every definition here and in this order: objects in one translation unit are constructed
// top to bottom, so a table that reads an earlier object always finds it built.
app_config_s g_app_config;
app_config_s g_preset_configs[kPresets];
app_config_s g_pending_config;
std::string g_config_path;
app_config_s g_net_status;
CTcpserver g_tcp_server;
CTcpserver g_telnet_server;
CUart g_uart;
CDsp g_dsp_watcher;
device_identity_s g_device_identity;
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
