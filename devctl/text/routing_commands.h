// The routing command of the text protocol: "OUT xx FR yy" feeds output xx (1-14, 0 all) from
// input yy (1-14, 0 none). When the input's pair and the output's pair are both linked, the pair
// is routed as a pair.
#pragma once

#include <string>

#include "devctl/text/text_rows.h"

bool TermSetOutputSource(const PreparedLine& line, std::string& reply);

// Rows (text_rows.h): OUT FR, dispatch and HELP.
extern const TextRows kRoutingRows;
extern const HelpRows kRoutingHelp;
