// The routing command of the text protocol: "OUT xx FR yy" feeds output xx (1-14, 0 all) from
// input yy (1-14, 0 none). When the input's pair and the output's pair are both linked, the pair
// is routed as a pair.
#pragma once

#include <string>

bool TermSetOutputSource(int fd, char* line, int len, std::string& reply);
