// The process-wide objects every thread of devctl shares. All of them are defined in globals.cpp,
// in one translation unit, so they are constructed in the order listed here before main runs.
// Construction opens no device and starts no thread; none is ever destroyed in a running unit.
#pragma once

#include <string>

#include "devctl/core/app_config.h"
#include "devctl/hardware/dsp_watcher.h"
#include "devctl/hardware/lcd_menu.h"
#include "devctl/text/tcp_server.h"
#include "devctl/text/uart.h"

// Identity strings of the unit, filled at start-up.
struct device_identity_s {
  std::string main_version;      // first word of the main firmware version file
  std::string mcu_version;       // first word of the MCU version file
  std::string netaudio_version;  // "V" + version [+ "_" + date]
  std::string mac;               // eth0
  std::string sub_mac;           // enp1s0
};

constexpr int kLcdMenuPages = 8;

extern app_config_s g_app_config;                 // the live configuration
extern app_config_s g_preset_configs[kPresets];   // preset n in element n - 1
extern app_config_s g_pending_config;             // network edits not yet applied
extern std::string g_config_path;                 // "/oem/app.json" once loaded
extern app_config_s g_net_status;                 // current addresses: ipaddress, subnet,
                                                  // gateway, dnsserver only
extern CTcpserver g_tcp_server;                   // raw TCP control port
extern CTcpserver g_telnet_server;                // telnet control port
extern CUart g_uart;                              // RS-232 control port
extern CDsp g_dsp_watcher;                        // built, never started
extern device_identity_s g_device_identity;
extern lcd_menu_s g_lcd_menu[kLcdMenuPages];
