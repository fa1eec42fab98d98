// The output volume commands of the text protocol: "OUT xx VOL yy" (set), "OUT xx VOL+yy" (raise
// by yy) and "OUT xx VOL-yy" (lower). xx: 0 all outputs and groups, 1-14 an output (with its
// linked pair), 15-18 output group A-D. A volume of 0 mutes, anything above unmutes.
#pragma once

#include <string>

bool TermSetOutputVolume(int fd, char* line, int len, std::string& reply);
bool TermSetOutputVolumeUp(int fd, char* line, int len, std::string& reply);
bool TermSetOutputVolumeDown(int fd, char* line, int len, std::string& reply);
