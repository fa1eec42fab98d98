// Changes of the preset directory as every control path makes them (text commands, web commands):
// saving the current configuration as a preset, recalling one, deleting and naming, with the
// "[SUCCESS]" line that reports each. Callers hold the configuration lock, check the preset number
// (1-8) first, then save the configuration and send the lines.
#pragma once

#include <string>

#include "devctl/core/unit_state.h"

// The preset file of preset n: "/oem/app_preset<n>.json".
std::string PresetFilePath(int n);

// Enables preset n and stores the live record in it as it stands at this change: the preset file
// gets the document a save of the configuration file would write now (so whatever came before in
// the order of changes is in it, saved to the configuration file yet or not), and the preset's
// slot is loaded from that file (a recall made before is in the record already; board writes it
// still waits for do not change what is stored). When the file cannot be written, false with no
// line and nothing changed: a preset saved before keeps its file and stays enabled.
bool SavePreset(UnitState& unit, int n, std::string& lines);

// How the recall line ends: at once, or with a blank before the line end.
enum class RecallLineEnd { kPlain, kBlankBeforeEnd };

enum class RecallRequest {
  kRequested,   // the line is appended and the record holds the preset; the power and preset
                // worker makes it heard (RunPendingRecall)
  kNotEnabled,  // preset n is not enabled: no line, nothing changed
  kUnreadable,  // enabled, but its file is missing or broken: no line, nothing changed
};

// Recalls preset n, its slot read again from its file: the live record takes the preset now
// (RecallPresetIntoRecord), so a command after this one changes the recalled values, and the
// caller's save stores them.
RecallRequest RequestPresetRecall(UnitState& unit, int n, RecallLineEnd end, std::string& lines);

// Frees preset n: disabled, no longer the current preset, named "Preset <n>"; the configuration is
// saved and then the file removed (a missing file is no error; after a failed save the file
// stays). Its slot keeps its contents.
void DeletePreset(UnitState& unit, int n, std::string& lines);

// Stores name (cut to the field) as the name of preset n and reports the stored name.
void SetPresetName(UnitState& unit, int n, const std::string& name, std::string& lines);
