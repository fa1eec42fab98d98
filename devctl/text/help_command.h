// The HELP command ("?" or "HELP"): a header, the help text of every command in the order HELP
// lists them, and a footer.
#pragma once

#include <cstddef>
#include <string>

#include "devctl/text/text_rows.h"

bool TermPrintHelp(const PreparedLine& line, std::string& reply);

// Appends the listing of a table (without the prompt) for the live configuration's device type.
void AppendHelpListing(std::string& reply, const text_command_s* table, size_t count);

// Rows (text_rows.h): "?" / "HELP", dispatch and HELP.
extern const TextRows kHelpRows;
extern const HelpRows kHelpRequestHelp;
