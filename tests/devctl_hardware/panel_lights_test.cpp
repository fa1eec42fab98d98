#include <array>
#include <string>

#include <gtest/gtest.h>

#include "devctl/core/unit_state.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_state.h"
#include "tests/support/sim_unit.h"

namespace {

int g_redraws = 0;
void CountRedraw() {
  ++g_redraws;
  LcdShowLeft(0, "Home page");
}

class PanelLights : public testsupport::SimUnitFixture {
 protected:
  PanelLights() : SimUnitFixture(Panel()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    LcdInit();
    InitFrontLeds();
    g_panel.menu_redraw = CountRedraw;
    g_redraws = 0;
  }
  void TearDown() override {
    g_panel.menu_redraw = nullptr;
    g_power.backlight_countdown = -1;
    SimUnitFixture::TearDown();
  }
  void Configure(int front_lcd, int powerled, int power, int countdown) {
    g_unit.config.front_lcd = front_lcd;
    g_unit.config.powerled = powerled;
    g_unit.config.power = power;
    g_power.backlight_countdown = countdown;
    LcdShowLeft(1, "something shown");
    g_redraws = 0;
  }
  uint8_t PowerLedByte() { return leds().Memory()[0]; }
  uint8_t OtherLedByte() { return leds().Memory()[2]; }
};

// LED bytes 0 and 2 for: all LEDs with power on / off, power LED alone on / off, none.
constexpr std::array<uint8_t, 2> kAllOn{3, 3}, kAllOff{4, 0}, kPowerOnly{1, 0}, kNone{0, 0};

TEST_F(PanelLights, WakeAndPowerToPanelFollowTheLcdMode) {
  struct Case {
    int front_lcd, powerled, power, countdown_before;
    int countdown_after;
    int backlight;
    std::array<uint8_t, 2> led_bytes;
    bool lines_blank;
  } cases[] = {
      {0, 0, 1, -1, 0, 0, kPowerOnly, true}, {0, 1, 1, -1, 0, 0, kNone, true},
      {0, 0, 0, 5, 0, 0, kAllOff, true},     {1, 0, 1, -1, 1, 1, kAllOn, false},
      {1, 1, 0, -1, 1, 0, kAllOff, true},    {2, 0, 1, -1, 30, 1, kAllOn, false},
      {3, 0, 1, 5, 60, 1, kAllOn, false},    {4, 1, 1, 0, 120, 1, kAllOn, false},
      {7, 0, 1, 3, 3, 1, kAllOn, false},     {7, 0, 1, 0, 0, 0, kPowerOnly, true},
      {7, 1, 1, -1, -1, 0, kNone, true},
  };
  for (bool with_redraw : {false, true}) {
    for (const Case& c : cases) {
      Configure(c.front_lcd, c.powerled, c.power, c.countdown_before);
      if (with_redraw)
        ApplyPowerToPanel();
      else
        WakePanelLights();
      std::string what = "mode " + std::to_string(c.front_lcd) + " powerled " +
                         std::to_string(c.powerled) + " power " + std::to_string(c.power) +
                         (with_redraw ? " ApplyPowerToPanel" : " WakePanelLights");
      EXPECT_EQ(g_power.backlight_countdown, c.countdown_after) << what;
      EXPECT_EQ(lcd().Backlight(), c.backlight) << what;
      EXPECT_EQ(PowerLedByte(), c.led_bytes[0]) << what;
      EXPECT_EQ(OtherLedByte(), c.led_bytes[1]) << what;
      EXPECT_EQ(lcd().Line(1) == std::string(16, ' '), c.lines_blank) << what;
      bool lit_and_powered = c.backlight == 1;
      EXPECT_EQ(g_redraws, with_redraw && lit_and_powered ? 1 : 0) << what;
    }
  }
}

TEST_F(PanelLights, ApplyPanelLightsKeepsARunningCountdown) {
  struct Case {
    int front_lcd, powerled, countdown_before, countdown_after, backlight;
    std::array<uint8_t, 2> led_bytes;
  } cases[] = {
      {0, 0, 7, 0, 0, kPowerOnly}, {1, 0, 7, 1, 1, kAllOn},       {3, 0, 7, 7, 1, kAllOn},
      {3, 1, 0, 0, 0, kNone},      {3, 0, -1, -1, 0, kPowerOnly}, {9, 0, 2, 2, 1, kAllOn},
  };
  for (const Case& c : cases) {
    Configure(c.front_lcd, c.powerled, 1, c.countdown_before);
    ApplyPanelLights();
    std::string what =
        "mode " + std::to_string(c.front_lcd) + " countdown " + std::to_string(c.countdown_before);
    EXPECT_EQ(g_power.backlight_countdown, c.countdown_after) << what;
    EXPECT_EQ(lcd().Backlight(), c.backlight) << what;
    EXPECT_EQ(PowerLedByte(), c.led_bytes[0]) << what;
    EXPECT_EQ(g_redraws, c.backlight) << what;
  }
}

}  // namespace
