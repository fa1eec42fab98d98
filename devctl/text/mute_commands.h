// The mute commands of the text protocol: "IN xx MUTE ON/OFF" and "OUT xx MUTE ON/OFF".
// xx: 0 all channels and groups of the side, 1-14 a channel (with its linked pair), 15-18 a group.
// An input line without a channel number is refused; an output line without one means all.
#pragma once

#include <string>

#include "devctl/text/text_rows.h"

bool TermSetInputMute(const PreparedLine& line, std::string& reply);
bool TermSetOutputMute(const PreparedLine& line, std::string& reply);

// Rows (text_rows.h): IN and OUT MUTE, dispatch and HELP.
extern const TextRows kMuteRows;
extern const HelpRows kInputMuteHelp;
extern const HelpRows kOutputMuteHelp;
