#include "devctl/core/pending_network.h"

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/file_copy.h"
#include "devctl/core/globals.h"
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
  g_net_edit_pending = false;
  SaveAppConfig(g_config_path, &g_app_config);
  if (g_app_config.dhcp != 0) CopyTextFile("/usr/local/backend/apps/dhcpcd.conf", "/etc/dhcpcd.conf");
  else WriteDhcpcdStatic();
  g_pending_config.hostname = g_app_config.hostname;
  WriteHostname(g_app_config.hostname);
}
