#include "devctl/core/base64.h"

#include <array>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<unsigned char, 256> MakeDecodeTable() {
  std::array<unsigned char, 256> table{};
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
  return table;
}

constexpr std::array<unsigned char, 256> kDecode = MakeDecodeTable();

unsigned Sextet(char c) { return kDecode[static_cast<unsigned char>(c)]; }

}  // namespace

size_t Base64Encode(char* out, const unsigned char* in, size_t n) {
  size_t written = 0;
  for (size_t i = 0; i < n; i += 3) {
    size_t left = n - i;
    unsigned bits = unsigned(in[i]) << 16;
    if (left > 1) bits |= unsigned(in[i + 1]) << 8;
    if (left > 2) bits |= in[i + 2];
    out[written++] = kAlphabet[(bits >> 18) & 63];
    out[written++] = kAlphabet[(bits >> 12) & 63];
    out[written++] = left > 1 ? kAlphabet[(bits >> 6) & 63] : '=';
    out[written++] = left > 2 ? kAlphabet[bits & 63] : '=';
  }
  return written;
}

size_t Base64Decode(unsigned char* out, const char* in, size_t n) {
  size_t written = 0;
  for (size_t i = 0; i < n; i += 4) {
    size_t chars = n - i < 4 ? n - i : 4;
    if (chars < 2) break;  // a lone character holds no whole byte
    unsigned bits = Sextet(in[i]) << 18 | Sextet(in[i + 1]) << 12;
    if (chars > 2) bits |= Sextet(in[i + 2]) << 6;
    if (chars > 3) bits |= Sextet(in[i + 3]);
    size_t bytes = chars - 1;
    if (chars == 4 && i + 4 >= n) {  // the padding of the last whole group
      if (in[i + 2] == '=') {
        bytes = 1;
      } else if (in[i + 3] == '=') {
        bytes = 2;
      }
    }
    out[written++] = (bits >> 16) & 0xff;
    if (bytes > 1) out[written++] = (bits >> 8) & 0xff;
    if (bytes > 2) out[written++] = bits & 0xff;
  }
  return written;
}
