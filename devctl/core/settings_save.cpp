#include "devctl/core/settings_save.h"

#include <cstdio>
#include <string>

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"

namespace {

bool Save(const app_config_s* record) {
  std::string path;
  {
    ConfigLock lock;
    path = g_unit.config_path;
  }
  if (SaveAppConfig(path, record)) return true;
  std::fprintf(stderr, "devctl: settings could not be saved to %s\n", path.c_str());
  return false;
}

}  // namespace

bool SaveLiveSettings() { return Save(&g_unit.config); }
