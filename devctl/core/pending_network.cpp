#include "devctl/core/pending_network.h"

#include <memory>

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"

void CopyEditedNetworkSettings(const app_config_s& from, app_config_s* to) {
  to->dhcp = from.dhcp;
  to->ipaddress = from.ipaddress;
  to->subnet = from.subnet;
  to->gateway = from.gateway;
  to->hostname = from.hostname;
}

bool SavePendingNetworkEdit(const std::string& path) {
  ConfigLock lock;
  auto merged = std::make_unique<app_config_s>(g_app_config);
  CopyEditedNetworkSettings(g_pending_config, merged.get());
  return SaveAppConfig(path, merged.get());
}
