#include "devctl/core/factory_reset.h"

#include <memory>
#include <string>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/file_copy.h"
#include "devctl/core/globals.h"
#include "devctl/core/network_files.h"
#include "devctl/core/pending_network.h"

namespace {

constexpr char kDhcpcdTemplate[] = "/usr/local/backend/apps/dhcpcd.conf";
constexpr char kDhcpcdConfig[] = "/etc/dhcpcd.conf";

std::string ConfigPath() {
  return g_config_path.empty() ? std::string(kConfigFile) : g_config_path;
}

bool ResetAll(bool into_live_record) {
  auto fresh = std::make_unique<app_config_s>();
  std::string path;
  {
    ConfigLock lock;
    path = ConfigPath();
    fresh->type = "TRX";
    ResetAppConfig(path, fresh.get(), g_device_identity.mac);
  }
  if (!SaveFinalAppConfig(path, fresh.get())) return false;
  ClearTarvoConfigDir();
  CopyTextFile(kDhcpcdTemplate, kDhcpcdConfig);
  WriteHostname(fresh->hostname);
  if (into_live_record) {
    ConfigLock lock;
    g_app_config = *fresh;
    // A text network edit still open (the reset key and the panel do not close it) is dropped.
    g_net_edit_pending = false;
    CopyEditedNetworkSettings(g_app_config, &g_pending_config);
  }
  return true;
}

}  // namespace

bool ResetSystemSettings() {
  ConfigLock lock;
  auto reset = std::make_unique<app_config_s>(g_app_config);
  ResetConfigReserved(g_config_path, reset.get());
  ResetAudioConfig(g_config_path, reset.get());
  if (!SaveAppConfig(g_config_path, reset.get())) return false;
  g_app_config = *reset;
  return true;
}

bool ResetAllSettings() { return ResetAll(true); }

bool ResetAllForNextStart() { return ResetAll(false); }
