// The output volume commands of the text protocol: "OUT xx VOL yy" (set), "OUT xx VOL+yy" (raise
// by yy) and "OUT xx VOL-yy" (lower). xx: 0 all outputs and groups, 1-14 an output (with its
// linked pair), 15-18 output group A-D. A volume of 0 mutes, anything above unmutes.
#pragma once

#include <string>

#include "devctl/text/text_rows.h"

bool TermSetOutputVolume(const PreparedLine& line, std::string& reply);
bool TermSetOutputVolumeUp(const PreparedLine& line, std::string& reply);
bool TermSetOutputVolumeDown(const PreparedLine& line, std::string& reply);

// Rows (text_rows.h): OUT VOL+, VOL-, VOL, dispatch and HELP.
extern const TextRows kOutputVolumeRows;
extern const HelpRows kOutputVolumeHelp;
