#include "devctl/core/pending_network.h"

#include <cstdio>

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/file_copy.h"
#include "devctl/core/globals.h"
#include "devctl/core/markers.h"
#include "devctl/core/network_files.h"

bool g_net_edit_pending = false;

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
    if (g_net_edit_pending) return;
    g_pending_config.type = "TRX";
    std::string path = g_config_path;
    OpenAppConfig(path, kConfigFile, &g_pending_config, g_device_identity.mac,
                  g_pending_config.type);
    g_net_edit_pending = true;
    return;
  }
  if (scope.find("STATUS") != std::string::npos || !g_net_edit_pending) return;
  // Once the reboot that applies an edit is asked for, the edit is what the next start loads: it
  // stays open, so every later save keeps it. While saves are frozen for the restart after a reset
  // of everything, nothing is written back either.
  if (RebootRequested() || ConfigSavesFrozen(g_config_path)) return;
  g_net_edit_pending = false;
  SaveAppConfig(g_config_path, &g_app_config);
  const int written = g_app_config.dhcp != 0
                          ? CopyTextFile("/usr/local/backend/apps/dhcpcd.conf", "/etc/dhcpcd.conf")
                          : WriteDhcpcdStatic();
  g_pending_config.hostname = g_app_config.hostname;
  const int named = WriteHostname(g_app_config.hostname);
  // The line that closed the edit is some other command: its reply is left as it is.
  if (written != 0 || named != 0) std::printf("network settings not written back\n");
}
