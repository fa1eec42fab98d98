// Whole-line output for the audio programs: each line is built first and written with one
// fwrite, so lines of different threads sharing a stream do not interleave.
#pragma once

#include <cstdio>
#include <string>

namespace Tarvo {

// Writes text and an end of line in one write, then flushes.
void writeLine(FILE* stream, const std::string& text);
// Writes text as it is (no end of line added), then flushes.
void writeText(FILE* stream, const std::string& text);

}  // namespace Tarvo
