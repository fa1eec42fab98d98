#include "devctl/core/factory_reset.h"

#include <memory>
#include <string>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/file_copy.h"
#include "devctl/core/network_files.h"
#include "devctl/core/pending_network.h"
#include "devctl/core/unit_state.h"

namespace {

constexpr char kDhcpcdTemplate[] = "/usr/local/backend/apps/dhcpcd.conf";
constexpr char kDhcpcdConfig[] = "/etc/dhcpcd.conf";

std::string ConfigPath() {
  return g_unit.config_path.empty() ? std::string(kConfigFile) : g_unit.config_path;
}

bool ResetAll(bool into_live_record) {
  auto fresh = std::make_unique<app_config_s>();
  std::string path;
  {
    ConfigLock lock;
    path = ConfigPath();
    fresh->type = "TRX";
    ResetAppConfig(path, fresh.get(), g_unit.identity.mac);
  }
  if (!SaveFinalAppConfig(path, fresh.get())) return false;
  ClearTarvoConfigDir();
  CopyTextFile(kDhcpcdTemplate, kDhcpcdConfig);
  WriteHostname(fresh->hostname);
  if (into_live_record) {
    ConfigLock lock;
    g_unit.config = *fresh;
    // A text network edit still open (the reset key and the panel do not close it) is dropped.
    g_unit.net_edit_pending = false;
    CopyEditedNetworkSettings(g_unit.config, &g_unit.pending);
  }
  return true;
}

}  // namespace

bool ResetSystemSettings() {
  ConfigLock lock;
  auto reset = std::make_unique<app_config_s>(g_unit.config);
  ResetConfigReserved(g_unit.config_path, reset.get());
  ResetAudioConfig(g_unit.config_path, reset.get());
  if (!SaveAppConfig(g_unit.config_path, reset.get())) return false;
  g_unit.config = *reset;
  return true;
}

bool ResetAllSettings() { return ResetAll(true); }

bool ResetAllForNextStart() { return ResetAll(false); }
