// The PRESET commands of the text protocol: status, save, apply, delete and name of the eight
// presets. Handlers of the text frame (text_rows.h): they return true when the configuration
// changed.
#pragma once

#include <string>

#include "devctl/text/text_rows.h"

bool TermPrintPresetStatus(const PreparedLine& line, std::string& reply);
bool TermSavePreset(const PreparedLine& line, std::string& reply);
bool TermApplyPreset(const PreparedLine& line, std::string& reply);
bool TermDeletePreset(const PreparedLine& line, std::string& reply);
bool TermSetPresetName(const PreparedLine& line, std::string& reply);

// The status table of preset n (1-8) as stored in its slot: input rows, an empty line, output
// rows, joined by "\r\n" with none after the last row.
std::string PresetStatusTable(int n);

// Rows (text_rows.h): PRESET STATUS, SAVE, APPLY, DELETE, NAME, dispatch and HELP.
extern const TextRows kPresetRows;
extern const HelpRows kPresetHelp;
