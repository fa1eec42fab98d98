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
#include "devctl/text/text_rows.h"

// How the text commands change the EQ where the command sets differ.
extern const EqRules kTextEqRules;

bool TermSetInputEqBand(const PreparedLine& line, std::string& reply);
bool TermSetOutputEqBand(const PreparedLine& line, std::string& reply);
bool TermSetInputEqPreset(const PreparedLine& line, std::string& reply);
bool TermSetOutputEqPreset(const PreparedLine& line, std::string& reply);
bool TermSetInputEqLock(const PreparedLine& line, std::string& reply);
bool TermSetOutputEqLock(const PreparedLine& line, std::string& reply);
bool TermSetInputEqEnable(const PreparedLine& line, std::string& reply);
bool TermSetOutputEqEnable(const PreparedLine& line, std::string& reply);
bool TermClearInputEq(const PreparedLine& line, std::string& reply);
bool TermClearOutputEq(const PreparedLine& line, std::string& reply);

// Rows (text_rows.h). Dispatch: an OUT line naming both EQ and VOL (a band edit, tried before the
// volume commands); the band, lock, enable, clear and memory commands of IN, then the band, lock,
// enable and clear commands of OUT; the OUT memory command (tried after the routing command).
extern const TextRows kEqVolumeLineRows;
extern const TextRows kEqRows;
extern const TextRows kOutputEqPresetRows;
// HELP: the five IN EQ entries; the five OUT EQ entries.
extern const HelpRows kInputEqHelp;
extern const HelpRows kOutputEqHelp;
