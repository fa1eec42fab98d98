// Base64 with the standard alphabet and "=" padding (RFC 4648).
// No caller yet: kept beside the ring log as the unit's utilities, for binary data carried as text
// (a log or configuration export).
#pragma once

#include <cstddef>

// Writes 4 characters per started group of 3 bytes, no terminating NUL; returns how many.
size_t Base64Encode(char* out, const unsigned char* in, size_t n);

// Decodes n characters into out (room for 3 bytes per started group of 4) and returns the number
// of bytes written. Characters outside the alphabet decode as 0; nothing beyond the n characters
// is read, and a last group of 2 or 3 characters gives 1 or 2 bytes.
size_t Base64Decode(unsigned char* out, const char* in, size_t n);
