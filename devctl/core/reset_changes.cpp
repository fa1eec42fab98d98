#include "devctl/core/reset_changes.h"

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/factory_reset.h"
#include "devctl/core/file_copy.h"
#include "devctl/core/globals.h"
#include "devctl/core/markers.h"
#include "devctl/core/network_files.h"
#include "devctl/core/pending_network.h"
#include "platform/clock.h"
#include "platform/storage.h"

// Each reset saves before it asks for the reboot: the board may restart as soon as the request
// file is there.

bool ResetSystemSettingsAndReboot(std::string& lines) {
  ResetSystemSettings();
  const bool saved = SaveAppConfig(g_config_path, &g_app_config);
  lines += "[SUCCESS]System reset, please wait a moment...\r\n";
  RequestReboot2();
  return saved;
}

bool ResetAllSettings() {
  ClearTarvoConfigDir();
  CopyTextFile("/usr/local/backend/apps/dhcpcd.conf", "/etc/dhcpcd.conf");
  ConfigLock lock;
  g_app_config.type = "TRX";
  ResetAppConfig(g_config_path, &g_app_config, g_device_identity.mac);
  // A text network edit still open (the reset key and the panel do not close it) is dropped, so
  // it does not go into the saved defaults.
  g_net_edit_pending = false;
  CopyEditedNetworkSettings(g_app_config, &g_pending_config);
  // The final save: nothing still running before the reboot writes over the defaults.
  return SaveFinalAppConfig(g_config_path, &g_app_config);
}

bool ResetAllSettingsAndReboot(std::string& lines) {
  const bool saved = ResetAllSettings();
  WriteHostname(g_app_config.hostname);
  lines += "[SUCCESS]System reset all, please wait a moment...\r\n";
  RequestReboot2();
  return saved;
}

bool RebootUnit(std::string& lines) {
  const bool saved = SaveAppConfig(g_config_path, &g_app_config);
  lines += "[SUCCESS]System reboot, please wait a moment...\r\n";
  platform::SyncFileSystems();
  platform::SleepMs(100);
  RequestReboot2();
  return saved;
}

bool SaveAndRequestReboot() {
  const bool saved = SaveAppConfig(g_config_path, &g_app_config);
  RequestReboot();
  return saved;
}
