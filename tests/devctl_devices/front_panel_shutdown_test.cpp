#include <algorithm>

#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/front_panel_shutdown.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/lcd.h"
#include "sim/board/front_panel.h"
#include "tests/support/sim_unit.h"

namespace {

class FrontPanelShutdownTest : public testsupport::SimUnitFixture {
 protected:
  FrontPanelShutdownTest() : SimUnitFixture(Drivers()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    GpioCloseAll();
    panel_ = std::make_unique<sim::FrontPanel>(board());
  }
  void TearDown() override {
    panel_.reset();
    GpioCloseAll();
    SimUnitFixture::TearDown();
  }
  std::unique_ptr<sim::FrontPanel> panel_;
};

TEST_F(FrontPanelShutdownTest, PanelGoesDarkAndTheSleepLineRises) {
  InitPowerGpios();
  LcdInit();
  LcdShowCentered(0, "READY");
  InitFrontLeds();
  LedShowAll(1);
  ASSERT_EQ(fs().Level(kGpioSleep), 0);

  ShutdownFrontPanel();
  EXPECT_TRUE(PanelThreadStopRequested());
  EXPECT_EQ(panel_->lcd().Line(0), std::string(16, ' '));
  EXPECT_EQ(panel_->lcd().Line(1), std::string(16, ' '));
  EXPECT_EQ(panel_->lcd().Backlight(), 0);
  auto memory = panel_->leds().Memory();
  EXPECT_TRUE(std::all_of(memory.begin(), memory.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(fs().Level(kGpioSleep), 1);
}

}  // namespace
