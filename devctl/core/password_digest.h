// Password digests of the web accounts: MD5 (RFC 1321) of the password followed by a fixed salt,
// as 32 lower-case hexadecimal digits.
#pragma once

#include <cstdint>

// MD5 of a message of any length.
void Md5Digest(const void* message, uint32_t length, uint8_t digest[16]);

// Appends the 32 digits of the salted password's digest to the NUL-terminated text in out, which
// must have room for 32 more characters and the NUL.
void HashPassword(const char* password, char* out);
