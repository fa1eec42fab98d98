// The records of the one unit this process runs: its configuration, presets, pending network
// edit, current addresses and identity. Every front end (text ports, web, front panel) and every
// worker reads and changes the same unit, so the state is one object of the process; the core
// change functions are the code that changes it. Construction opens no device and starts no
// thread; the object is never destroyed in a running unit.
#pragma once

#include <string>

#include "devctl/core/app_config.h"

// Identity strings of the unit, filled at start-up.
struct device_identity_s {
  std::string main_version;      // first word of the main firmware version file
  std::string mcu_version;       // first word of the MCU version file
  std::string netaudio_version;  // "V" + version [+ "_" + date]
  std::string mac;               // eth0
  std::string sub_mac;           // enp1s0
};

// The addresses eth0 really has (DHCP may have given others than the configuration holds).
struct net_addresses_s {
  std::string ipaddress;
  std::string subnet;
  std::string gateway;
  std::string dnsserver;
};

// Read and changed under the configuration lock.
struct UnitState {
  app_config_s config;             // the live configuration
  app_config_s presets[kPresets];  // preset n in element n - 1
  // The text network edit: NET commands change this copy until the edit closes (see
  // pending_network.h); net_edit_pending is true while it is open.
  app_config_s pending;
  bool net_edit_pending = false;
  std::string config_path;     // "/oem/app.json" once loaded
  net_addresses_s net_status;  // what eth0 has now
  device_identity_s identity;
};

// Global because every thread of the process works on this one unit.
extern UnitState g_unit;
