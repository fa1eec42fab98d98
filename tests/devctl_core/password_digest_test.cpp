#include <cstdio>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "devctl/core/password_digest.h"

namespace {

std::string Md5Hex(const std::string& message) {
  uint8_t digest[16];
  Md5Digest(message.data(), uint32_t(message.size()), digest);
  std::string hex;
  char two[3];
  for (uint8_t b : digest) {
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  return hex;
}

std::string Hash(const std::string& password, const std::string& prefix = "") {
  char out[256] = {};
  prefix.copy(out, sizeof out - 1);
  HashPassword(password.c_str(), out);
  return out;
}

TEST(Md5Digest, MatchesTheStandardAcrossBlockBoundaries) {
  struct Case {
    std::string message;
    const char* digest;
  } cases[] = {
      // RFC 1321 test suite.
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // Lengths around the padding and block edges (digests from Python's hashlib).
      {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
      {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
      {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
      {std::string(1000, 'a'), "cabe45dcc9ae5b66ba86600cca6b8ba8"},
  };
  for (const Case& c : cases) EXPECT_EQ(Md5Hex(c.message), c.digest) << c.message.size();
}

TEST(HashPassword, DigestsTheSaltedPasswordAndAppends) {
  EXPECT_EQ(Hash("@Tqw4821"), "558b81f78717e7e3af40686654674cc2");
  EXPECT_EQ(Hash(""), "01c5daa4250b1bbe2b8b73ec367a9879");
  EXPECT_EQ(Hash("@Tqw4821", "x"), "x558b81f78717e7e3af40686654674cc2");

  // Long passwords each get their own digest (no collisions past one MD5 block).
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += char('A' + i % 26);
  EXPECT_EQ(Hash(hundred), "a12cb9544fd1e77d0847b387b1942e2a");
  EXPECT_EQ(Hash(std::string(39, 'x')), "2974c925341d60054ec10aa5da3d68f3");
  EXPECT_EQ(Hash(std::string(39, 'y')), "9707d99db9012c99d90145c496a8aaf2");

  for (const char* password : {"", "a", "Guest", "@Tqw4821"}) {
    EXPECT_TRUE(std::regex_match(Hash(password), std::regex("[0-9a-f]{32}"))) << password;
  }
}

}  // namespace
