// The input gain commands of the text protocol: "IN xx GAIN yy" (set), "IN xx GAIN+yy" (raise by
// yy 1 dB steps) and "IN xx GAIN-yy" (lower). xx: 0 all inputs and groups, 1-14 an input (with its
// linked pair), 15-18 input group 1-4. Each returns true when it changed the gains (the
// dispatcher then saves) and false after a range error.
#pragma once

#include <string>

bool TermSetInputGain(int fd, char* line, int len, std::string& reply);
bool TermSetInputGainUp(int fd, char* line, int len, std::string& reply);
bool TermSetInputGainDown(int fd, char* line, int len, std::string& reply);
