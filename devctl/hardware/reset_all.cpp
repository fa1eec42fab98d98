#include "devctl/hardware/reset_all.h"

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/file_copy.h"
#include "devctl/core/globals.h"

void ResetAllSettings() {
  ClearTarvoConfigDir();
  CopyTextFile("/usr/local/backend/apps/dhcpcd.conf", "/etc/dhcpcd.conf");
  ConfigLock lock;
  g_app_config.type = "TRX";
  ResetAppConfig(g_config_path, &g_app_config, g_device_identity.mac);
  // The final save: nothing still running before the reboot writes over the defaults.
  SaveFinalAppConfig(g_config_path, &g_app_config);
}
