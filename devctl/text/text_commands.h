// The commands of the text protocol, joined from the rows their family files export
// (text_rows.h): once in the order the dispatcher tries them, once in the order HELP lists them.
#pragma once

#include <vector>

#include "devctl/text/text_rows.h"

// Every dispatch row; the first whose keyword test matches a line answers it.
const std::vector<TextRow>& TextDispatchTable();

// Every HELP entry in listing order.
const std::vector<text_command_s>& TextHelpTable();
