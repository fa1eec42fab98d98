// Numbers as JSON text, written the shortest way that reads back as the same value, for documents
// whose pieces are printed ahead and handed to cJSON as raw text (cJSON_CreateRaw).
#pragma once

#include <cstdint>
#include <string>

void AppendJsonNumber(std::string& out, int value);
void AppendJsonNumber(std::string& out, uint32_t value);
// Whole values within the int range as integers (-0 keeps its sign), as cJSON writes them; NaN and
// the infinities as null, as cJSON does (JSON has no such numbers); any other value with the
// fewest digits that read back to the same float the way the configuration is loaded (to double,
// then rounded to float).
void AppendJsonNumber(std::string& out, float value);

// "[a, b, c]": a number array as cJSON's formatted print writes it ("[]" when count <= 0).
std::string JsonNumberArray(const int* values, int count);
std::string JsonNumberArray(const float* values, int count);
