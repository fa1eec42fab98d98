#include "devctl/core/globals.h"
#include "devctl/hardware/menu_pages.h"

#include "devctl/web/web_handlers.h"
#include "devctl/web/web_upgrade_handlers.h"

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
// The web command table in its fixed order; the command map and the help reply sort it by name.
// Commands whose handler is not part of this build answer as unsupported.
web_command_s g_web_commands[kWebCommandCount] = {
    {"login", WebUnsupportedCommand, "help:"},
    {"logout", WebUnsupportedCommand, "help:"},
    {"modify password", WebUnsupportedCommand, "help:"},
    {"modify username", WebUnsupportedCommand, "help:"},
    {"get user", WebUnsupportedCommand, "help:"},
    {"get login user", WebUnsupportedCommand, "help:"},
    {"add login user", WebUnsupportedCommand, "help:"},
    {"delete login user", WebUnsupportedCommand, "help:"},
    {"get user limit", WebUnsupportedCommand, "help:"},
    {"set user limit", WebUnsupportedCommand, "help:"},
    {"set user enabled", WebUnsupportedCommand, "help:"},
    {"get control status", WebUnsupportedCommand, "help:"},
    {"set control status", WebUnsupportedCommand, "help:"},
    {"get input status", WebUnsupportedCommand, "help:"},
    {"set input gain", WebSetInputGain, "help:"},
    {"set input phantom", WebUnsupportedCommand, "help:"},
    {"set input stereo", WebUnsupportedCommand, "help:"},
    {"set input mute", WebSetInputMute, "help:"},
    {"set input name", WebUnsupportedCommand, "help:"},
    {"set input usb", WebUnsupportedCommand, "help:"},
    {"get output status", WebUnsupportedCommand, "help:"},
    {"set output vol", WebUnsupportedCommand, "help:"},
    {"set output mute", WebUnsupportedCommand, "help:"},
    {"set output stereo", WebUnsupportedCommand, "help:"},
    {"set output delay", WebUnsupportedCommand, "help:"},
    {"set output name", WebUnsupportedCommand, "help:"},
    {"get peq status", WebUnsupportedCommand, "help:"},
    {"set peq chn", WebUnsupportedCommand, "help:"},
    {"set peq", WebUnsupportedCommand, "help:"},
    {"set peq bypass", WebUnsupportedCommand, "help:"},
    {"set eq stereo", WebUnsupportedCommand, "help:"},
    {"set eq preset", WebUnsupportedCommand, "help:"},
    {"set peq reset", WebUnsupportedCommand, "help:"},
    {"get preset status", WebUnsupportedCommand, "help:"},
    {"get preset user", WebUnsupportedCommand, "help:"},
    {"set preset recall", WebUnsupportedCommand, "help:"},
    {"set preset name", WebUnsupportedCommand, "help:"},
    {"delete preset", WebUnsupportedCommand, "help:"},
    {"set preset save", WebUnsupportedCommand, "help:"},
    {"reboot", WebUnsupportedCommand, "help:"},
    {"set factory", WebUnsupportedCommand, "help:"},
    {"get status", WebUnsupportedCommand, "help:"},
    {"set network", WebUnsupportedCommand, "help:"},
    {"set telnetportenable", WebUnsupportedCommand, "help:"},
    {"set tcpportenable", WebUnsupportedCommand, "help:"},
    {"get system status", WebUnsupportedCommand, "help:"},
    {"set key lock", WebUnsupportedCommand, "help:"},
    {"set power", WebUnsupportedCommand, "help:"},
    {"set front lcd", WebUnsupportedCommand, "help:"},
    {"set power led", WebUnsupportedCommand, "help:"},
    {"set baudrate", WebUnsupportedCommand, "help:"},
    {"set standby mode", WebUnsupportedCommand, "help:"},
    {"set_auto_standby_time", WebUnsupportedCommand, "help:"},
    {"get upgrade status", WebGetUpgradeStatus, "help:"},
    {"set defaults network", WebUnsupportedCommand, "help:"},
    {"GetUpgradeFW", WebGetUpgradeFw, "help:"},
};
text_command_s g_text_commands[kTextCommandCount];
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
