#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/core/markers.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/lcd.h"
#include "tests/support/sim_unit.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Lcd : public testsupport::SimUnitFixture {
 protected:
  Lcd() : SimUnitFixture(Panel()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    LcdInit();
    lcd().ClearCounters();
  }
  // Address instructions and data bytes taken since the last call.
  std::pair<std::vector<uint8_t>, int> Sent() {
    auto sent = std::make_pair(lcd().Instructions(), lcd().DataWrites());
    lcd().ClearCounters();
    return sent;
  }
};

TEST_F(Lcd, InitSetsUpTheControllerAndBlanksTheShadow) {
  LcdShowLeft(0, "Booting");
  LcdInit();
  EXPECT_EQ(lcd().Instructions(), (std::vector<uint8_t>{0x80, 0x38, 0x0C, 0x06, 0x01}));
  EXPECT_TRUE(lcd().DisplayOn());
  EXPECT_EQ(lcd().Backlight(), 1);
  EXPECT_EQ(lcd().Line(0), std::string(16, ' '));
  EXPECT_EQ(LcdShadowLine(0), std::string(16, ' '));
  EXPECT_EQ(fs().Level(12), 0);
}

TEST_F(Lcd, OnlyChangedCharactersAreSent) {
  LcdShowLeft(0, "Input 1   +10dB");
  EXPECT_EQ(lcd().Line(0), "Input 1   +10dB ");
  auto first = Sent();
  EXPECT_EQ(first.first, std::vector<uint8_t>{0x80});
  EXPECT_EQ(first.second, 16);

  LcdShowLeft(0, "Input 1   +10dB");
  EXPECT_EQ(Sent(), std::make_pair(std::vector<uint8_t>{}, 0));

  LcdShowLeft(0, "Input 2   +11dC");  // three characters differ
  EXPECT_EQ(Sent(), std::make_pair(std::vector<uint8_t>{0x86, 0x8C, 0x8E}, 3));
  EXPECT_EQ(lcd().Line(0), "Input 2   +11dC ");

  LcdShowLeft(1, "abcd");  // four differ: one address, the whole run
  EXPECT_EQ(Sent(), std::make_pair(std::vector<uint8_t>{0xC0}, 16));
  EXPECT_EQ(lcd().Line(1), "abcd            ");
}

TEST_F(Lcd, WritesAreClippedAtTheLastColumn) {
  const char ten[] = "0123456789";
  LcdWrite(10, 1, ten, 10);
  EXPECT_EQ(lcd().Line(1), "          012345");
  LcdWrite(16, 1, ten, 10);
  LcdWrite(200, 1, ten, 10);
  LcdWrite(0, 2, ten, 10);
  LcdWrite(0, 0, nullptr, 10);
  LcdWrite(0, 0, ten, 0);
  auto sent = Sent();
  EXPECT_EQ(sent.first, std::vector<uint8_t>{0xCA});
  EXPECT_EQ(sent.second, 6);
}

TEST_F(Lcd, CentredAndLeftFields) {
  struct Case {
    const char* text;
    const char* shown;
  } cases[] = {
      {"Menu", "      Menu      "},
      {"123456789012345", "123456789012345 "},
      {"1234567890123456", "1234567890123456"},
      {"12345678901234567890", "1234567890123456"},
      {"", "                "},
  };
  for (const Case& c : cases) {
    LcdShowCentered(0, c.text);
    EXPECT_EQ(lcd().Line(0), c.shown) << c.text;
  }
  LcdShowLeft(1, "12345678901234567890");
  EXPECT_EQ(lcd().Line(1), "1234567890123456");
}

TEST_F(Lcd, ClearKeepsTheShadowAndBacklightOffBlanks) {
  LcdShowLeft(0, "Hello");
  LcdClear();
  EXPECT_EQ(lcd().Line(0), std::string(16, ' '));
  Sent();
  LcdShowLeft(0, "Hello");  // the shadow still holds it: nothing is sent
  EXPECT_EQ(Sent(), std::make_pair(std::vector<uint8_t>{}, 0));

  LcdInit();
  LcdShowLeft(0, "Hello");
  LcdShowLeft(1, "World");
  EXPECT_EQ(lcd().Line(0), "Hello           ");
  LcdSetBacklight(0);
  EXPECT_EQ(lcd().Backlight(), 0);
  EXPECT_EQ(lcd().Line(0), std::string(16, ' '));
  EXPECT_EQ(lcd().Line(1), std::string(16, ' '));
  Sent();
  LcdSetBacklight(1);
  EXPECT_EQ(lcd().Backlight(), 1);
  EXPECT_EQ(Sent(), std::make_pair(std::vector<uint8_t>{}, 0));
}

class Leds : public testsupport::SimUnitFixture {
 protected:
  Leds() : SimUnitFixture(Panel()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    InitFrontLeds();
  }
  static Bytes Pattern(std::initializer_list<std::pair<int, uint8_t>> set) {
    Bytes memory(14, 0);
    for (auto [i, v] : set) memory[size_t(i)] = v;
    return memory;
  }
  static std::vector<Bytes> TwoWrites(const Bytes& memory) {
    Bytes data{0xC0};
    data.insert(data.end(), memory.begin(), memory.end());
    return {{0x40}, data, {0x40}, data};
  }
  Bytes Memory() {
    auto m = leds().Memory();
    return Bytes(m.begin(), m.end());
  }
};

TEST_F(Leds, InitSetsModeBrightnessAndClearsTheMemory) {
  Bytes blank = Pattern({});
  Bytes address_and_data{0xC0};
  address_and_data.insert(address_and_data.end(), blank.begin(), blank.end());
  EXPECT_EQ(leds().Frames(), (std::vector<Bytes>{{0x03}, {0x8F}, {0x40}, address_and_data}));
  EXPECT_EQ(fs().Level(54), 1);
  EXPECT_EQ(fs().Level(59), 1);
  EXPECT_EQ(leds().MalformedFrames(), 0);
}

TEST_F(Leds, PatternsAreWrittenTwiceWhole) {
  struct Case {
    void (*show)(int);
    int powered;
    Bytes memory;
  } cases[] = {
      {LedShowAll, 1, Pattern({{0, 3}, {2, 3}, {4, 3}, {6, 3}, {8, 3}, {10, 3}, {12, 3}})},
      {LedShowAll, 0, Pattern({{0, 4}})},
      {LedShowPowerOnly, 1, Pattern({{0, 1}})},
      {LedShowPowerOnly, 0, Pattern({{0, 4}})},
      {LedShowAll, 7, Pattern({{0, 3}, {2, 3}, {4, 3}, {6, 3}, {8, 3}, {10, 3}, {12, 3}})},
  };
  for (const Case& c : cases) {
    leds().ClearFrames();
    c.show(c.powered);
    EXPECT_EQ(Memory(), c.memory);
    EXPECT_EQ(leds().Frames(), TwoWrites(c.memory));
  }
  leds().ClearFrames();
  LedShowNone();
  EXPECT_EQ(Memory(), Pattern({}));
  EXPECT_EQ(leds().Frames(), TwoWrites(Pattern({})));
}

TEST_F(Leds, BrightnessLevelsAboveEightAreFull) {
  struct Case {
    uint8_t level, command;
  } cases[] = {{0, 0x80}, {1, 0x88}, {7, 0x8E}, {8, 0x8F}, {12, 0x8F}, {255, 0x8F}};
  for (const Case& c : cases) {
    LedDrvSetBrightness(c.level);
    EXPECT_EQ(leds().DisplayControl(), c.command) << int(c.level);
  }
}

TEST_F(Leds, FramesOfConcurrentCallersNeverInterleave) {
  leds().ClearFrames();
  auto writer = [](void (*show)(int), int powered) {
    for (int i = 0; i < 20; ++i) show(powered);
  };
  std::thread a(writer, LedShowAll, 1);
  std::thread b(writer, LedShowPowerOnly, 0);
  a.join();
  b.join();
  EXPECT_EQ(leds().MalformedFrames(), 0);
  auto frames = leds().Frames();
  EXPECT_EQ(frames.size(), 2u * 2 * 2 * 20);
  for (const Bytes& f : frames) {
    bool data_command = f == Bytes{0x40};
    bool image = f.size() == 15 && f[0] == 0xC0 &&
                 (Bytes(f.begin() + 1, f.end()) == Pattern({{0, 4}}) ||
                  Bytes(f.begin() + 1, f.end()) ==
                      Pattern({{0, 3}, {2, 3}, {4, 3}, {6, 3}, {8, 3}, {10, 3}, {12, 3}}));
    EXPECT_TRUE(data_command || image);
  }
}

TEST_F(Leds, StateFilesShowThePanel) {
  LcdInit();
  LcdShowCentered(0, "Booting");
  LedShowAll(1);
  ASSERT_TRUE(board().Publish());
  EXPECT_EQ(Read("/sim/lcd.txt"),
            "line0 |    Booting     |\nline1 |                |\nbacklight 1\n");
  EXPECT_EQ(Read("/sim/leds.txt"),
            "memory 03 00 03 00 03 00 03 00 03 00 03 00 03 00\ncontrol 0x8F\n");
}

}  // namespace

namespace {

class Reboot : public testsupport::SimUnitFixture {
 protected:
  Reboot() : SimUnitFixture(Panel()) {}
};

TEST_F(Reboot, RequestMutesShutsThePanelDownThenWritesTheMarker) {
  InitPowerGpios();
  LcdInit();
  InitFrontLeds();
  LcdShowLeft(0, "Home");
  LedShowAll(1);
  fs().ClearHistory();
  testing::internal::CaptureStdout();
  EXPECT_EQ(RequestReboot(), 0);
  // Lines 47 and 48 are never opened on the unit: their writes only print.
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "gpio 48 not open\ngpio 47 not open\n");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
  auto history = fs().History();
  ASSERT_FALSE(history.empty());
  EXPECT_EQ(history.front().gpio, 113);
  EXPECT_EQ(history.front().level, 1);
  EXPECT_EQ(history.back().gpio, 107);
  EXPECT_EQ(history.back().level, 1);
  EXPECT_EQ(lcd().Backlight(), 0);
  EXPECT_EQ(lcd().Line(0), std::string(16, ' '));
  EXPECT_EQ(leds().Memory()[0], 0);
}

}  // namespace
