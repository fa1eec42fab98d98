// Preparation of a received command line and the parameter scanner of the text handlers.
#pragma once

#include <cstdint>

// Removes every DEL (0x7F) with the byte before it (a DEL at the start removes only itself)
// within the first *len bytes, updating *len. Bytes beyond the old length are not touched.
void ApplyBackspaces(char* line, int* len);

// Copies every byte of in[0, len) that is neither a blank nor NUL to out and returns their
// number; writes no terminator. Returns -1, having written at most out_size bytes, when the
// result would not fit into out_size bytes.
int StripSpaces(const char* in, int len, char* out, int out_size);

// 2 when the line ends CR LF, 1 when it ends CR or LF, else 0 (len >= 1). No caller yet: the line
// editor ends lines itself; kept for a port that has to know how a line ended.
int GetLineEnd(const char* line, int len);

// sscanf-style scanner for condensed command lines. The pattern holds literal characters, "%d"
// (optional sign, decimal digits) and "%f" (a finite decimal number). It stops at the first
// mismatch and returns the number of values stored, so targets not reached keep their preset.
// Unlike sscanf, an integer too large for int stores INT_MAX or INT_MIN (out of every range),
// and "NAN", "INF" and the like are not numbers.
int ScanText(const char* text, const char* pattern, ...);
