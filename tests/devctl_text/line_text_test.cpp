#include "devctl/text/line_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(LineText, ApplyBackspaces) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"AB\x7F"
       "C",
       "AC"},
      {"\x7F"
       "AB",
       "AB"},
      {"A\x7F\x7F", ""},
      {"\x7F\x7F\x7F", ""},
      {"IN1\x7F"
       "2GAIN5",
       "IN2GAIN5"},
      {"plain", "plain"},
  };
  for (const auto& c : cases) {
    std::string buf = c.in + "tail";
    int len = static_cast<int>(c.in.size());
    ApplyBackspaces(buf.data(), &len);
    EXPECT_EQ(buf.substr(0, len), c.out) << c.in;
  }
}

TEST(LineText, StripSpacesIsBoundedByItsBuffer) {
  char out[8] = {};
  EXPECT_EQ(StripSpaces(" IN 1 ", 6, out, sizeof out), 3);
  EXPECT_EQ(std::string(out, 3), "IN1");
  const char with_nul[] = {'A', '\0', ' ', 'B'};
  EXPECT_EQ(StripSpaces(with_nul, 4, out, sizeof out), 2);
  char small[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(StripSpaces("ABCDE", 5, small, 3), -1);
  EXPECT_EQ(small[3], 'x');
  EXPECT_EQ(StripSpaces("A  ", 3, small, 3), 1);
}

TEST(LineText, GetLineEnd) {
  EXPECT_EQ(GetLineEnd("X\r\n", 3), 2);
  EXPECT_EQ(GetLineEnd("X\n", 2), 1);
  EXPECT_EQ(GetLineEnd("X\r", 2), 1);
  EXPECT_EQ(GetLineEnd("XY", 2), 0);
  EXPECT_EQ(GetLineEnd("\n", 1), 1);
}

TEST(LineText, ScannerKeepsPresetsWhereTheTextStops) {
  struct Case {
    const char* text;
    const char* pattern;
    int stored, a, b;
  } cases[] = {
      {"IN1GAIN5\r", "IN%dGAIN%d", 2, 1, 5},
      {"IN1GAIN+5", "IN%dGAIN%d", 2, 1, 5},
      {"IN01GAIN-030", "IN%dGAIN%d", 2, 1, -30},
      {"IN1GAIN\r", "IN%dGAIN%d", 1, 1, -100},
      {"INGAIN+2", "IN%dGAIN+%d", 0, 0, -100},
      {"IN99999999999GAIN5", "IN%dGAIN%d", 2, INT_MAX, 5},
      {"IN-99999999999GAIN5", "IN%dGAIN%d", 2, INT_MIN, 5},
      {"IN1GAINNAN", "IN%dGAIN%d", 1, 1, -100},
      {"IN1GAIN-", "IN%dGAIN%d", 1, 1, -100},
      {"OUT1VOL5", "IN%dVOL%d", 0, 0, -100},
  };
  for (const auto& c : cases) {
    int a = 0, b = -100;
    EXPECT_EQ(ScanText(c.text, c.pattern, &a, &b), c.stored) << c.text;
    EXPECT_EQ(a, c.a) << c.text;
    EXPECT_EQ(b, c.b) << c.text;
  }
}

TEST(LineText, ScannerFloatsAreFiniteOnly) {
  float f = -1;
  EXPECT_EQ(ScanText("Q1.5", "Q%f", &f), 1);
  EXPECT_FLOAT_EQ(f, 1.5f);
  f = -1;
  for (const char* bad : {"QNAN", "QINF", "Q1e99", "Q.", "Q-"}) {
    EXPECT_EQ(ScanText(bad, "Q%f", &f), 0) << bad;
    EXPECT_EQ(f, -1) << bad;
  }
}

}  // namespace
