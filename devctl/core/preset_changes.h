// Changes of the preset directory as every control path makes them (text commands, web commands):
// saving the current configuration as a preset, requesting a recall, deleting and naming, with the
// "[SUCCESS]" line that reports each. Callers hold the configuration lock, check the preset number
// (1-8) first, then save the configuration and send the lines.
#pragma once

#include <string>

// The preset file of preset n: "/oem/app_preset<n>.json".
std::string PresetFilePath(int n);

// Enables preset n and stores the configuration file as last saved in it: the file is copied to
// the preset file and the preset's slot is loaded from that copy. When the copy cannot be made,
// the preset is left disabled, its file is removed and false is returned with no line.
bool SavePreset(int n, std::string& lines);

// How the recall line ends: the text port's line, or the web command's with a blank before the
// line end.
enum class RecallLine { kText, kWeb };

// Requests the recall of preset n (the power and preset worker carries it out). False, with no
// line and nothing changed, when preset n is not enabled.
bool RequestPresetRecall(int n, RecallLine wording, std::string& lines);

// Frees preset n: disabled, no longer the current preset, named "Preset <n>", file removed (a
// missing file is no error). Its slot keeps its contents.
void DeletePreset(int n, std::string& lines);

// Stores name (cut to the field) as the name of preset n and reports the stored name.
void SetPresetName(int n, const std::string& name, std::string& lines);
