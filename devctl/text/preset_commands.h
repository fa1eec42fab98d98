// The PRESET commands of the text protocol: status, save, apply, delete and name of the eight
// presets. Handlers of the text frame (text_handler.h): they return true when the configuration
// changed.
#pragma once

#include <string>

bool TermPrintPresetStatus(int fd, char* line, int len, std::string& reply);
bool TermSavePreset(int fd, char* line, int len, std::string& reply);
bool TermApplyPreset(int fd, char* line, int len, std::string& reply);
bool TermDeletePreset(int fd, char* line, int len, std::string& reply);
bool TermSetPresetName(int fd, char* line, int len, std::string& reply);

// The status table of preset n (1-8) as stored in its slot: input rows, an empty line, output
// rows, joined by "\r\n" with none after the last row.
std::string PresetStatusTable(int n);
