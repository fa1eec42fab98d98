// The process-wide records every thread of devctl shares (the front ends' own objects, such as the
// control servers, live with them). All of them are defined in globals.cpp, in one translation
// unit, so they are constructed in the order listed here before main runs. Construction opens no
// device and starts no thread; none is ever destroyed in a running unit.
#pragma once

#include <string>

#include "devctl/core/app_config.h"
#include "devctl/devices/dsp_watcher.h"

// Identity strings of the unit, filled at start-up.
struct device_identity_s {
  std::string main_version;      // first word of the main firmware version file
  std::string mcu_version;       // first word of the MCU version file
  std::string netaudio_version;  // "V" + version [+ "_" + date]
  std::string mac;               // eth0
  std::string sub_mac;           // enp1s0
};

extern app_config_s g_app_config;                // the live configuration
extern app_config_s g_preset_configs[kPresets];  // preset n in element n - 1
extern app_config_s g_pending_config;            // network edits not yet applied
extern std::string g_config_path;                // "/oem/app.json" once loaded
extern app_config_s g_net_status;                // current addresses: ipaddress, subnet,
                                                 // gateway, dnsserver only
extern CDsp g_dsp_watcher;                       // built, never started
extern device_identity_s g_device_identity;
