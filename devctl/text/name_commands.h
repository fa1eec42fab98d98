// The channel name commands of the text protocol: "IN xx NAME yy" and "OUT xx NAME yy" name input
// or output xx (1-14) or group xx (15-18). The name keeps the case it was typed in (its blanks are
// removed); at most 24 characters, none of them a control character.
#pragma once

#include <string>

#include "devctl/text/text_rows.h"

bool TermSetInputName(const PreparedLine& line, std::string& reply);
bool TermSetOutputName(const PreparedLine& line, std::string& reply);

// Rows (text_rows.h): IN and OUT NAME, dispatch and HELP.
extern const TextRows kNameRows;
extern const HelpRows kInputNameHelp;
extern const HelpRows kOutputNameHelp;
