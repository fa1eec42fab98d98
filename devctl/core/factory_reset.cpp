#include "devctl/core/factory_reset.h"

#include <memory>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/file_copy.h"
#include "devctl/core/globals.h"
#include "devctl/core/network_files.h"

namespace {

constexpr char kDhcpcdTemplate[] = "/usr/local/backend/apps/dhcpcd.conf";
constexpr char kDhcpcdConfig[] = "/etc/dhcpcd.conf";

}  // namespace

void ResetSystemSettings() {
  ResetConfigReserved(g_config_path, &g_app_config);
  ResetAudioConfig(g_config_path, &g_app_config);
}

bool ResetAllForNextStart() {
  ClearTarvoConfigDir();
  CopyTextFile(kDhcpcdTemplate, kDhcpcdConfig);
  auto fresh = std::make_unique<app_config_s>();
  std::string path;
  std::string mac;
  {
    ConfigLock lock;
    path = g_config_path.empty() ? std::string(kConfigFile) : g_config_path;
    mac = g_device_identity.mac;
  }
  fresh->type = "TRX";
  ResetAppConfig(path, fresh.get(), mac);
  if (!SaveFinalAppConfig(path, fresh.get())) return false;
  WriteHostname(fresh->hostname);
  return true;
}
