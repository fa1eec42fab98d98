// The menu pages under three threads at once, as on the unit: the key thread handing presses to
// the pages (and committing their changes), the panel thread refreshing the page on show, and a
// command redrawing the page while it holds the configuration lock (a power or LCD change). The
// pages have one owner at a time: no race on their records, and no deadlock between the pages
// and the configuration lock.
#include <atomic>
#include <cstdint>
#include <thread>

#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/key_controller.h"
#include "devctl/hardware/menu_pages.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/panel_thread.h"
#include "devctl/hardware/power_state.h"
#include "tests/support/sim_unit.h"

namespace {

class PanelPages : public testsupport::SimUnitFixture {
 protected:
  PanelPages() : SimUnitFixture(Panel()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    MakeDir("/oem");
    ResetAppConfig("", &g_unit.config, "");
    g_unit.config.front_lcd = 1;
    g_unit.config.power = 1;
    g_unit.config_path = "/oem/app.json";
    g_unit.pending = g_unit.config;
    for (int gpio : kGpioPhantom) {
      GpioOpen(gpio);
      GpioSetOut(gpio);
    }
    LcdInit();
    InitFrontLeds();
    g_power.applied = 1;
    g_panel.lcd_page = kHomePage;
    g_panel.menu_redraw = MenuRedraw;
    MenuRedraw();
  }
  void TearDown() override {
    g_panel.menu_redraw = nullptr;
    g_power.applied = 0;
    g_power.backlight_countdown = -1;
    SimUnitFixture::TearDown();
  }
  // A press and release as the key thread reads them from the controller.
  void Press(uint8_t byte0, uint8_t byte1) {
    board().keys().SetStatus(byte0, byte1);
    for (int poll = 0; poll < 3; ++poll) KeyThreadPass(&keys_);
    board().keys().SetStatus(0x00, 0x00);
    for (int poll = 0; poll < 3; ++poll) KeyThreadPass(&keys_);
  }

  KeyThreadState keys_;
};

TEST_F(PanelPages, KeysBesideRefreshesAndRedrawsUnderTheConfigurationLock) {
  std::atomic<bool> done{false};
  std::thread panel([&] {
    while (!done) {
      int passes = 24;  // every pass refreshes the page
      PanelLoopPass(&passes);
      std::this_thread::yield();
    }
  });
  std::thread command([&] {
    while (!done) {
      {
        ConfigLock lock;
        MenuRedraw();
      }
      std::this_thread::yield();
    }
  });
  // byte 0: DOWN 0x01, UP 0x02; byte 1: keys 1-4 0x01-0x08, MENU 0x10, CANCEL 0x40, OK 0x80.
  struct KeyPress {
    uint8_t byte0, byte1;
  };
  const KeyPress kPhantomToggled[] = {{0, 0x01}, {0x02, 0}, {0, 0x80}, {0, 0x80}};
  const KeyPress kPhantomCancelled[] = {{0, 0x02}, {0x01, 0}, {0, 0x80}, {0, 0x40}};
  const KeyPress kUsbToggled[] = {{0, 0x10}, {0, 0x80}, {0x01, 0}, {0, 0x80}, {0, 0x40}};
  for (int round = 0; round < 6; ++round) {
    for (const KeyPress& k : kPhantomToggled) Press(k.byte0, k.byte1);
    for (const KeyPress& k : kPhantomCancelled) Press(k.byte0, k.byte1);
    for (const KeyPress& k : kUsbToggled) Press(k.byte0, k.byte1);
  }
  done = true;
  panel.join();
  command.join();
  // The redraws re-enter the page on show between presses, so what the presses changed is not
  // fixed; alone again, the pages work as ever.
  int phantom;
  {
    ConfigReadLock lock;
    phantom = g_unit.config.analogue_input_phantom[0];
  }
  for (const KeyPress& k : kPhantomToggled) Press(k.byte0, k.byte1);
  ConfigReadLock lock;
  EXPECT_EQ(g_unit.config.analogue_input_phantom[0], phantom != 0 ? 0 : 1);
  EXPECT_EQ(g_panel.lcd_page.load(), kHomePage);
}

}  // namespace
