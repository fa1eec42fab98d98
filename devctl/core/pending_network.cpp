#include "devctl/core/pending_network.h"

#include <cstdio>

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/file_copy.h"
#include "devctl/core/markers.h"
#include "devctl/core/network_files.h"
#include "devctl/core/unit_state.h"

void CopyEditedNetworkSettings(const app_config_s& from, app_config_s* to) {
  to->dhcp = from.dhcp;
  to->ipaddress = from.ipaddress;
  to->subnet = from.subnet;
  to->gateway = from.gateway;
  to->hostname = from.hostname;
}

bool SavePendingNetworkEdit(const std::string& path) { return SaveLiveConfigWithNetworkEdit(path); }

void NetworkEditStep(const std::string& scope) {
  if (scope.find("NET") != std::string::npos) {
    if (g_unit.net_edit_pending) return;
    g_unit.pending.type = "TRX";
    std::string path = g_unit.config_path;
    OpenAppConfig(path, kConfigFile, &g_unit.pending, g_unit.identity.mac,
                  g_unit.pending.type);
    g_unit.net_edit_pending = true;
    return;
  }
  if (scope.find("STATUS") != std::string::npos || !g_unit.net_edit_pending) return;
  // Once the reboot that applies an edit is asked for, the edit is what the next start loads: it
  // stays open, so every later save keeps it. While saves are frozen for the restart after a reset
  // of everything, nothing is written back either.
  if (RebootRequested() || ConfigSavesFrozen(g_unit.config_path)) return;
  g_unit.net_edit_pending = false;
  SaveAppConfig(g_unit.config_path, &g_unit.config);
  const int written = g_unit.config.dhcp != 0
                          ? CopyTextFile("/usr/local/backend/apps/dhcpcd.conf", "/etc/dhcpcd.conf")
                          : WriteDhcpcdStatic();
  g_unit.pending.hostname = g_unit.config.hostname;
  const int named = WriteHostname(g_unit.config.hostname);
  // The line that closed the edit is some other command: its reply is left as it is.
  if (written != 0 || named != 0) std::printf("network settings not written back\n");
}
