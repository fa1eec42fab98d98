// The equaliser commands of the text protocol, inputs and outputs alike:
//   "IN xx EQ vv TYPE ww FRQ yy GAIN zz Q aa"  band vv (0 all) of the selected custom memory
//   "IN xx EQ PRESET yy"                       plays memory yy: 1 Flat, 2 Custom1, 3 Custom2
//   "IN xx EQ LOCK ON/OFF"                     EQ lock of the pair of xx (0: every pair)
//   "IN xx EQ yy ON/OFF"                       switches band yy (0 all) on or off
//   "IN xx EQ CLR"                             puts the selected custom memory back to defaults
// and the same with "OUT". xx: 0 all, 1-14 a channel (with its EQ-locked pair), 15-18 a group.
// Each returns true when the configuration is to be saved.
#pragma once

#include <string>

#include "devctl/core/eq_changes.h"

// How the text commands change the EQ where the command sets differ.
extern const EqRules kTextEqRules;

bool TermSetInputEqBand(int fd, char* line, int len, std::string& reply);
bool TermSetOutputEqBand(int fd, char* line, int len, std::string& reply);
bool TermSetInputEqPreset(int fd, char* line, int len, std::string& reply);
bool TermSetOutputEqPreset(int fd, char* line, int len, std::string& reply);
bool TermSetInputEqLock(int fd, char* line, int len, std::string& reply);
bool TermSetOutputEqLock(int fd, char* line, int len, std::string& reply);
bool TermSetInputEqEnable(int fd, char* line, int len, std::string& reply);
bool TermSetOutputEqEnable(int fd, char* line, int len, std::string& reply);
bool TermClearInputEq(int fd, char* line, int len, std::string& reply);
bool TermClearOutputEq(int fd, char* line, int len, std::string& reply);
