#include "devctl/core/preset_changes.h"

#include <unistd.h>

#include "devctl/core/config_file.h"
#include "devctl/core/file_copy.h"
#include "devctl/core/globals.h"
#include "devctl/core/presets.h"
#include "platform/paths.h"

namespace {

bool IsPreset(int n) { return n >= 1 && n <= kPresets; }

}  // namespace

std::string PresetFilePath(int n) { return "/oem/app_preset" + std::to_string(n) + ".json"; }

bool SavePreset(int n, std::string& lines) {
  if (!IsPreset(n)) return false;
  const std::string file = PresetFilePath(n);
  // The copy is made first and the slot read from it, so the slot and the file always agree; the
  // enable flag goes into the record only once both exist.
  if (CopyTextFile(kConfigFile, file.c_str()) != 0) {
    g_app_config.preset_enable[n - 1] = 0;
    unlink(platform::Path(file).c_str());
    return false;
  }
  LoadAppConfigFile(file, file.c_str(), &g_preset_configs[n - 1], g_device_identity.mac,
                    g_app_config.type);
  g_app_config.preset_enable[n - 1] = 1;
  lines += "[SUCCESS]Save current config to preset " + std::to_string(n) + ".\r\n";
  return true;
}

bool RequestPresetRecall(int n, RecallLine wording, std::string& lines) {
  if (!IsPreset(n) || g_app_config.preset_enable[n - 1] == 0) return false;
  lines += "[SUCCESS]Recall preset " + std::to_string(n) + " to the current setting." +
           (wording == RecallLine::kWeb ? " \r\n" : "\r\n");
  g_app_config.preset_recall = n;
  g_pending_preset = n;
  return true;
}

void DeletePreset(int n, std::string& lines) {
  if (!IsPreset(n)) return;
  g_app_config.preset_enable[n - 1] = 0;
  if (g_app_config.preset_recall == n) g_app_config.preset_recall = 0;
  SetNameField(g_app_config.preset_name[n - 1], ("Preset " + std::to_string(n)).c_str());
  unlink(platform::Path(PresetFilePath(n)).c_str());
  lines += "[SUCCESS]Delete preset " + std::to_string(n) + " from the system.\r\n";
}

void SetPresetName(int n, const std::string& name, std::string& lines) {
  if (!IsPreset(n)) return;
  SetNameField(g_app_config.preset_name[n - 1], name.c_str());
  lines += "[SUCCESS]Set preset " + std::to_string(n) + " with the name " +
           g_app_config.preset_name[n - 1] + ".\r\n";
}
