#include "devctl/core/preset_changes.h"

#include <unistd.h>

#include "devctl/core/config_file.h"
#include "devctl/core/presets.h"
#include "devctl/core/settings_save.h"
#include "devctl/core/stored_file.h"
#include "devctl/core/unit_state.h"
#include "platform/paths.h"

namespace {

bool IsPreset(int n) { return n >= 1 && n <= kPresets; }

}  // namespace

std::string PresetFilePath(int n) { return "/oem/app_preset" + std::to_string(n) + ".json"; }

bool SavePreset(UnitState& unit, int n, std::string& lines) {
  if (!IsPreset(n)) return false;
  const std::string file = PresetFilePath(n);
  // The preset is the live record at this change's place in the order of changes, written as a
  // save of the configuration file writes it: the saves of the changes before it may not be on
  // disk yet (they are written after the lock is released), so the file is not copied. The write
  // replaces the file whole or not at all: a failed overwrite keeps the old preset. The slot is
  // read from the new file, so the slot and the file always agree; the enable flag goes into the
  // record only once both exist.
  std::string document;
  if (!PrintAsSaved(&unit.config, &document)) return false;
  if (WriteStoredFile(file.c_str(), document) != 0) return false;
  LoadAppConfigFile(file, file.c_str(), &unit.presets[n - 1], unit.identity.mac, unit.config.type);
  unit.config.preset_enable[n - 1] = 1;
  lines += "[SUCCESS]Save current config to preset " + std::to_string(n) + ".\r\n";
  return true;
}

RecallRequest RequestPresetRecall(UnitState& unit, int n, RecallLineEnd end, std::string& lines) {
  if (!IsPreset(n) || unit.config.preset_enable[n - 1] == 0) return RecallRequest::kNotEnabled;
  // The recall plays what the preset's file holds; without a good file it changes nothing.
  if (!ReloadPresetSlot(n)) return RecallRequest::kUnreadable;
  lines += "[SUCCESS]Recall preset " + std::to_string(n) + " to the current setting." +
           (end == RecallLineEnd::kBlankBeforeEnd ? " \r\n" : "\r\n");
  unit.config.preset_recall = n;
  RecallPresetIntoRecord(unit, n);
  return RecallRequest::kRequested;
}

void DeletePreset(UnitState& unit, int n, std::string& lines) {
  if (!IsPreset(n)) return;
  unit.config.preset_enable[n - 1] = 0;
  if (unit.config.preset_recall == n) unit.config.preset_recall = 0;
  SetNameField(unit.config.preset_name[n - 1], ("Preset " + std::to_string(n)).c_str());
  // The record saying "disabled" is on disk before the file goes, so a stop at any point leaves
  // either the old preset whole or a disabled one. When the save fails the file stays; the caller's
  // own save reports the failure.
  if (SaveLiveSettings()) unlink(platform::Path(PresetFilePath(n)).c_str());
  lines += "[SUCCESS]Delete preset " + std::to_string(n) + " from the system.\r\n";
}

void SetPresetName(UnitState& unit, int n, const std::string& name, std::string& lines) {
  if (!IsPreset(n)) return;
  SetNameField(unit.config.preset_name[n - 1], name.c_str());
  lines += "[SUCCESS]Set preset " + std::to_string(n) + " with the name " +
           unit.config.preset_name[n - 1] + ".\r\n";
}
