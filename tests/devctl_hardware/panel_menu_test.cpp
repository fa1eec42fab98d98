#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/app/service_loop.h"
#include "devctl/core/config_defaults.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/key_controller.h"
#include "devctl/hardware/lcd_menu.h"
#include "devctl/hardware/menu_pages.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/panel_thread.h"
#include "devctl/hardware/power.h"
#include "devctl/hardware/power_state.h"
#include "devctl/hardware/power_wake.h"
#include "platform/net_if.h"
#include "tests/support/sim_unit.h"

namespace {

class PanelMenu : public testsupport::SimUnitFixture {
 protected:
  PanelMenu() : SimUnitFixture(Panel()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    MakeDir("/oem");
    ResetAppConfig("", &g_unit.config, "");
    g_unit.config.dhcp = 0;
    g_unit.config.ipaddress = "192.168.0.200";
    g_unit.config.front_lcd = 1;
    g_unit.config.power = 1;
    g_unit.config_path = "/oem/app.json";
    g_unit.net_status = net_addresses_s();
    g_unit.identity.main_version = "V2.0.1";
    g_unit.identity.netaudio_version = "V3.2_20240101";
    for (int gpio : kGpioPhantom) {
      GpioOpen(gpio);
      GpioSetOut(gpio);
    }
    LcdInit();
    InitFrontLeds();
    g_panel.lcd_page = 2;
    g_panel.idle_ticks = 20;
    g_panel.notice = 0;
    MenuRedraw();
  }
  void TearDown() override {
    platform::ResetSimInterfaces();
    g_panel.menu_redraw = nullptr;
    g_power.backlight_countdown = -1;
    SimUnitFixture::TearDown();
  }
  // Hands keys to the current page as the key thread does.
  void Press(std::vector<key_type_e> keys) {
    for (key_type_e key : keys)
      for (lcd_menu_s& m : g_panel.menu)
        if (m.id == g_panel.lcd_page && m.on_key) {
          m.on_key(&m, key);
          break;
        }
  }
  lcd_menu_s& Page(int id) {
    for (lcd_menu_s& m : g_panel.menu)
      if (m.id == id) return m;
    return g_panel.menu[0];
  }
  std::string Line(int n) { return lcd().Line(n); }
};

TEST(LcdMenuTable, EightPagesWithTheirIds) {
  ASSERT_EQ(sizeof g_panel.menu / sizeof g_panel.menu[0], 8u);
  for (int i = 0; i < kLcdMenuPages; ++i) EXPECT_EQ(g_panel.menu[i].id, i + 2) << i;
}

TEST_F(PanelMenu, HomePageShowsModelAndTheUnitsAddress) {
  struct Case {
    int dhcp;
    const char* live;
    const char* shown;
  } cases[] = {
      {0, "10.1.2.3", "192.168.000.200 "},  // static: the configured address
      {1, "10.1.2.3", "010.001.002.003 "},  // DHCP: the live one
      {1, "0.0.0.0", "192.168.000.200 "},   // DHCP without an address yet
  };
  for (const Case& c : cases) {
    g_unit.config.dhcp = c.dhcp;
    platform::SimInterface eth0;
    eth0.address = c.live;
    eth0.netmask = "255.0.0.0";
    platform::SetSimInterface("eth0", eth0);
    MenuRedraw();
    EXPECT_EQ(Line(0), "     VX7206     ");
    EXPECT_EQ(Line(1), c.shown) << c.dhcp << " " << c.live;
  }
}

TEST_F(PanelMenu, KeysMoveBetweenPages) {
  struct Case {
    std::vector<key_type_e> keys;
    int page;
    const char* line0;
    const char* line1;
  } cases[] = {
      {{KEY_TYPE_E_3}, 3, "ANALOGUE CH3    ", "PHANTOM PWR OFF "},
      {{KEY_TYPE_E_MENU}, 4, "1.USB Select    ", "                "},
      {{KEY_TYPE_E_MENU, KEY_TYPE_E_UP}, 4, "4.F/W Version   ", "                "},
      {{KEY_TYPE_E_MENU, KEY_TYPE_E_UP, KEY_TYPE_E_OK}, 8, "F/W Version:    ", "MAIN 2.0.1      "},
      {{KEY_TYPE_E_MENU, KEY_TYPE_E_UP, KEY_TYPE_E_OK, KEY_TYPE_E_UP},
       8,
       "Tarvo 8H        ",
       "3.2_20240101    "},
      {{KEY_TYPE_E_MENU, KEY_TYPE_E_DOWN, KEY_TYPE_E_DOWN, KEY_TYPE_E_OK},
       7,
       "Tarvo 8CH       ",
       "192.168.000.200 "},
      {{KEY_TYPE_E_MENU, KEY_TYPE_E_OK}, 5, "USB Select      ", "USB-B           "},
      {{KEY_TYPE_E_MENU, KEY_TYPE_E_DOWN, KEY_TYPE_E_OK},
       6,
       "DHCP IP GW SM   ",
       "Static          "},
      {{KEY_TYPE_E_MENU, KEY_TYPE_E_OK, KEY_TYPE_E_CANCEL},
       4,
       "1.USB Select    ",
       "                "},
      {{KEY_TYPE_E_MENU, KEY_TYPE_E_CANCEL}, 2, "     VX7206     ", "192.168.000.200 "},
      {{KEY_TYPE_E_RESET}, 9, " FACTORY RESET? ", "                "},
      {{KEY_TYPE_E_RESET, KEY_TYPE_E_RESET, KEY_TYPE_E_LEFT},
       9,
       " FACTORY RESET? ",
       "                "},
      {{KEY_TYPE_E_2, KEY_TYPE_E_CANCEL}, 2, "     VX7206     ", "192.168.000.200 "},
  };
  for (const Case& c : cases) {
    g_panel.lcd_page = 2;
    MenuRedraw();
    Press(c.keys);
    EXPECT_EQ(g_panel.lcd_page.load(), c.page) << c.line0;
    EXPECT_EQ(Line(0), c.line0);
    EXPECT_EQ(Line(1), c.line1) << c.line0;
  }
}

TEST_F(PanelMenu, PhantomPageAppliesOnlyAfterConfirmation) {
  Press({KEY_TYPE_E_2, KEY_TYPE_E_UP, KEY_TYPE_E_OK});
  EXPECT_EQ(Line(0), "TURN ON PHANTOM ");
  EXPECT_EQ(Line(1), "PWR CH2?        ");
  // CANCEL in the confirmation goes back to the page with the configured setting.
  Press({KEY_TYPE_E_CANCEL});
  EXPECT_EQ(g_panel.lcd_page.load(), 3);
  EXPECT_EQ(Line(1), "PHANTOM PWR OFF ");
  EXPECT_EQ(g_unit.config.analogue_input_phantom[1], 0);

  Press({KEY_TYPE_E_DOWN, KEY_TYPE_E_OK, KEY_TYPE_E_OK});
  EXPECT_EQ(g_unit.config.analogue_input_phantom[1], 1);
  EXPECT_EQ(fs().Level(52), 1);
  EXPECT_NE(Read("/oem/app.json").find("\"analogue_input_phantom\":\t[0, 1, 0, 0]"),
            std::string::npos)
      << Read("/oem/app.json");
  EXPECT_EQ(g_panel.lcd_page.load(), 2);
  EXPECT_GE(clock_.SleptUs(), 1000000);
}

TEST_F(PanelMenu, UsbPageSavesTheSelectedPort) {
  Press({KEY_TYPE_E_MENU, KEY_TYPE_E_OK, KEY_TYPE_E_DOWN, KEY_TYPE_E_OK});
  EXPECT_EQ(g_unit.config.usb_status, 0);
  EXPECT_NE(Read("/oem/app.json").find("\"usb_status\":\t0"), std::string::npos);
  EXPECT_EQ(g_panel.lcd_page.load(), 4);
}

TEST_F(PanelMenu, NetworkModeUnchangedDoesNothingChangedRequestsReboot) {
  Press({KEY_TYPE_E_MENU, KEY_TYPE_E_DOWN, KEY_TYPE_E_OK, KEY_TYPE_E_OK});
  EXPECT_FALSE(Exists("/tmp/reboot"));
  EXPECT_EQ(g_unit.config.dhcp, 0);

  Write("/usr/local/backend/apps/dhcpcd.conf", "# dhcp\n");
  Press({KEY_TYPE_E_MENU, KEY_TYPE_E_DOWN, KEY_TYPE_E_OK, KEY_TYPE_E_UP, KEY_TYPE_E_OK});
  EXPECT_EQ(g_unit.config.dhcp, 1);
  EXPECT_EQ(Read("/etc/dhcpcd.conf"), "# dhcp\n");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
}

TEST_F(PanelMenu, FactoryResetCancelShowsCanceledAndGoesHome) {
  g_unit.config.model = "Changed";
  Press({KEY_TYPE_E_RESET, KEY_TYPE_E_CANCEL});
  EXPECT_EQ(g_panel.lcd_page.load(), 2);
  EXPECT_EQ(g_unit.config.model, "Changed");
  EXPECT_GE(clock_.SleptUs(), 2000000);
}

TEST_F(PanelMenu, PanelReturnsHomeAfterIdleAndBlanksWhenDark) {
  int passes = 0;
  Press({KEY_TYPE_E_MENU});
  g_panel.idle_ticks = 0;
  for (int tick = 0; tick < 80 * 25; ++tick) PanelLoopPass(&passes);
  EXPECT_EQ(g_panel.lcd_page.load(), 4);
  for (int pass = 0; pass < 25; ++pass) PanelLoopPass(&passes);
  EXPECT_EQ(g_panel.lcd_page.load(), 2);
  EXPECT_EQ(Line(0), "     VX7206     ");

  g_unit.config.front_lcd = 2;
  g_power.backlight_countdown = 0;
  for (int pass = 0; pass < 25; ++pass) PanelLoopPass(&passes);
  EXPECT_EQ(Line(0), std::string(16, ' '));
  EXPECT_EQ(Line(1), std::string(16, ' '));
}

// The interface queries of the unit, held up at the first one until released: a thread that
// refreshes the network status on its way to drawing (the home page) stops there, as it would
// on a busy machine.
class HeldNetIo : public platform::NetIo {
 public:
  explicit HeldNetIo(platform::NetIo& inner) : inner_(inner) {}
  int Socket(int domain, int type, int protocol) override {
    HoldHere();
    return inner_.Socket(domain, type, protocol);
  }
  int Ioctl(int fd, unsigned long request, void* arg) override {
    HoldHere();
    return inner_.Ioctl(fd, request, arg);
  }
  int Close(int fd) override { return inner_.Close(fd); }

  void WaitUntilHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return held_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = false;
    changed_.notify_all();
  }

 private:
  void HoldHere() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!holding_) return;
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !holding_; });
  }

  platform::NetIo& inner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool holding_ = true;
  bool held_ = false;
};

// A front key handled while another thread is in the middle of drawing the home page (the
// panel thread's refresh, or a redraw after a power change, held up as on a busy machine): the
// page the key leads to is what stays on the LCD, and the late home page never lands on it.
TEST_F(PanelMenu, KeyPressedWhileTheHomePageIsBeingDrawnIsNotLost) {
  struct Case {
    const char* what;
    void (*draw)();
    uint8_t byte1;
    int page;
    const char* line0;
  } cases[] = {
      {"panel refresh",
       [] {
         int passes = 24;
         PanelLoopPass(&passes);
       },
       0x10, 4, "1.USB Select    "},
      {"redraw after a power change", [] { MenuRedraw(); }, 0x10, 4, "1.USB Select    "},
      {"panel refresh, key 3",
       [] {
         int passes = 24;
         PanelLoopPass(&passes);
       },
       0x04, 3, "ANALOGUE CH3    "},
  };
  platform::NetIo& inner = platform::net_io();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_panel.lcd_page = 2;
    MenuRedraw();
    KeyThreadState keys;
    HeldNetIo held(inner);
    platform::SetNetIo(&held);
    std::thread drawer(c.draw);
    held.WaitUntilHeld();
    board().keys().SetStatus(0x00, c.byte1);
    for (int poll = 0; poll < 3; ++poll) KeyThreadPass(&keys);
    EXPECT_EQ(g_panel.lcd_page.load(), c.page);
    EXPECT_EQ(Line(0), c.line0);
    held.Release();
    drawer.join();
    platform::SetNetIo(nullptr);
    EXPECT_EQ(Line(0), c.line0);
    board().keys().SetStatus(0x00, 0x00);
    for (int poll = 0; poll < 3; ++poll) KeyThreadPass(&keys);
  }
}

TEST_F(PanelMenu, LockNoticeShowsAndFlashesOnlyForAKey) {
  int passes = 0;
  g_unit.config.key_lock = 1;
  g_panel.notice = 2;
  int64_t before = clock_.SleptUs();
  PanelLoopPass(&passes);
  EXPECT_EQ(Line(0), " Key Is Locked  ");
  EXPECT_LT(clock_.SleptUs() - before, 100000);  // no flashing
  EXPECT_EQ(g_panel.notice.load(), 0);

  g_panel.notice = 1;
  PanelLoopPass(&passes);
  EXPECT_NEAR(clock_.SleptUs() - before, 1250000, 50000);
  EXPECT_EQ(leds().Memory()[0], 3);  // ends with every LED showing power
}

TEST_F(PanelMenu, BootScreenThenHomePage) {
  int64_t before = clock_.SleptUs();
  ShowBootScreen();
  EXPECT_EQ(Line(0), "   Booting...   ");
  EXPECT_NEAR(clock_.SleptUs() - before, 15000000, 100000);
  FinishBoot();
  EXPECT_EQ(Line(0), "     VX7206     ");
  EXPECT_EQ(g_panel.menu_redraw, &MenuRedraw);

  // Waking from deep sleep: the model and "Please wait..." instead, and the marker goes.
  Write("/oem/auto_standy", "1");
  ShowBootScreen();
  EXPECT_FALSE(Exists("/oem/auto_standy"));
  EXPECT_EQ(Line(0), "     VX7206     ");
  EXPECT_EQ(Line(1), " Please wait... ");
}

// The power worker's first pass and a command's wake come while the boot screen shows: the
// boot texts stay on both lines for the whole screen.
TEST_F(PanelMenu, BootScreenLinesStayWhileThePowerIsApplied) {
  // Runs hook once, at the boot screen's first one-second pause, and records both lines after
  // every pause.
  struct BootClock : platform::Clock {
    int64_t now = 1000000;
    std::function<void()> hook;
    std::vector<std::pair<std::string, std::string>> seen;
    std::function<std::pair<std::string, std::string>()> lines;
    bool inside = false;
    int64_t NowUs() override { return now; }
    void SleepUs(int64_t us) override {
      now += us;
      if (inside || us != 1000000) return;
      inside = true;
      if (hook) std::exchange(hook, nullptr)();
      seen.push_back(lines());
      inside = false;
    }
  } boot_clock;
  boot_clock.lines = [this] { return std::make_pair(Line(0), Line(1)); };
  platform::SetClock(&boot_clock);
  struct Case {
    bool waking;
    std::function<void()> hook;
  } cases[] = {
      {false,
       [] {
         g_power.applied = 0;
         PowerWorkerPass();
       }},
      {true,
       [] {
         g_power.applied = 0;
         PowerWorkerPass();
       }},
      {false,
       [] {
         g_unit.config.power = 0;
         std::string notice;
         WakeOnCommand(notice);
       }},
      {true,
       [] {
         g_unit.config.power = 0;
         std::string notice;
         WakeOnCommand(notice);
       }},
      // The service loop's backlight step in LCD mode 0 (always off) waits for the boot's end.
      {false,
       [] {
         g_unit.config.front_lcd = 0;
         ServiceLoopPass();
         g_unit.config.front_lcd = 1;
       }},
  };
  for (const Case& c : cases) {
    g_unit.config.power = 1;
    if (c.waking) Write("/oem/auto_standy", "1");
    boot_clock.seen.clear();
    boot_clock.hook = c.hook;
    ShowBootScreen();
    ASSERT_EQ(boot_clock.seen.size(), 15u);
    for (const auto& shown : boot_clock.seen) {
      if (c.waking) {
        EXPECT_EQ(shown.first, "     VX7206     ");
        EXPECT_NE(shown.second.find("Please wait."), std::string::npos) << shown.second;
      } else {
        EXPECT_NE(shown.first.find("Booting."), std::string::npos) << shown.first;
      }
    }
    FinishBoot();
    EXPECT_EQ(Line(0), "     VX7206     ");  // the home page once the boot screen ends
  }
  platform::SetClock(&clock_);
}

}  // namespace
