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

std::string ConfigPath(UnitState& unit) {
  return unit.config_path.empty() ? std::string(kConfigFile) : unit.config_path;
}

bool ResetAll(UnitState& unit, bool into_live_record) {
  auto fresh = std::make_unique<app_config_s>();
  std::string path;
  {
    ConfigLock lock;
    path = ConfigPath(unit);
    fresh->type = "TRX";
    ResetAppConfig(path, fresh.get(), unit.identity.mac);
  }
  if (!SaveFinalAppConfig(path, fresh.get())) return false;
  ClearTarvoConfigDir();
  CopyTextFile(kDhcpcdTemplate, kDhcpcdConfig);
  WriteHostname(fresh->hostname);
  if (into_live_record) {
    ConfigLock lock;
    unit.config = *fresh;
    // A text network edit still open (the reset key and the panel do not close it) is dropped.
    unit.net_edit_pending = false;
    CopyEditedNetworkSettings(unit.config, &unit.pending);
  }
  return true;
}

}  // namespace

bool ResetSystemSettings(UnitState& unit) {
  ConfigLock lock;
  auto reset = std::make_unique<app_config_s>(unit.config);
  ResetConfigReserved(unit.config_path, reset.get());
  ResetAudioConfig(unit.config_path, reset.get());
  // The network stays as it stands: a text edit still open (one whose reboot was asked for is
  // never closed) goes into the file as every save of the live record puts it there, so the file
  // agrees with dhcpcd.conf and the host name. The live record keeps the running settings.
  auto saved = std::make_unique<app_config_s>(*reset);
  if (unit.net_edit_pending) CopyEditedNetworkSettings(unit.pending, saved.get());
  if (!SaveAppConfig(unit.config_path, saved.get())) return false;
  unit.config = *reset;
  return true;
}

bool ResetAllSettings(UnitState& unit) { return ResetAll(unit, true); }

bool ResetAllForNextStart(UnitState& unit) { return ResetAll(unit, false); }
