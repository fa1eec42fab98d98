// The input gain commands of the text protocol: "IN xx GAIN yy" (set), "IN xx GAIN+yy" (raise by
// yy 1 dB steps) and "IN xx GAIN-yy" (lower). xx: 0 all inputs and groups, 1-14 an input (with its
// linked pair), 15-18 input group 1-4. Each returns true when it changed the gains (the
// dispatcher then saves) and false after a range error.
#pragma once

#include <string>

#include "devctl/text/text_rows.h"

bool TermSetInputGain(const PreparedLine& line, std::string& reply);
bool TermSetInputGainUp(const PreparedLine& line, std::string& reply);
bool TermSetInputGainDown(const PreparedLine& line, std::string& reply);

// Rows (text_rows.h): IN GAIN, GAIN+, GAIN-, dispatch and HELP.
extern const TextRows kInputGainRows;
extern const HelpRows kInputGainHelp;
