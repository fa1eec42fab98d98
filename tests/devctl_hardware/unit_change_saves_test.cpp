// Changes the unit makes itself (front-panel pages and keys, the USB button, auto standby) with
// /oem refusing every write: the control ports hear of the failed save after the change's lines,
// as they do after a command's, the panel never says the change succeeded, and the save is
// written without the configuration lock held.
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/markers.h"
#include "devctl/core/network_changes.h"
#include "devctl/core/notices.h"
#include "devctl/core/unit_commit.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/auto_standby.h"
#include "devctl/hardware/buttons.h"
#include "devctl/hardware/key_controller.h"
#include "devctl/hardware/lcd_menu.h"
#include "devctl/hardware/menu_pages.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_state.h"
#include "platform/paths.h"
#include "platform/storage.h"
#include "tests/support/sim_unit.h"
#include "tests/support/wait_for.h"

namespace {

constexpr char kFailed[] = "[ERROR]Settings could not be saved.\r\n";

// The fake clock, which also notes what the LCD showed at every pause of a second or more (the
// panel's "SUCCESS!!!" and the like).
class PanelClock : public platform::Clock {
 public:
  explicit PanelClock(std::function<std::string()> shown) : shown_(std::move(shown)) {}
  int64_t NowUs() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_us_;
  }
  void SleepUs(int64_t us) override {
    const std::string text = us >= 1000000 ? shown_() : std::string();
    std::lock_guard<std::mutex> lock(mutex_);
    now_us_ += us;
    if (!text.empty()) pauses_.push_back(text);
  }
  std::vector<std::string> pauses() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pauses_;
  }

 private:
  std::function<std::string()> shown_;
  std::mutex mutex_;
  int64_t now_us_ = 1000000;
  std::vector<std::string> pauses_;
};

class UnitChangeSaves;

// One change the unit makes itself.
struct UnitChange {
  const char* name;
  std::function<void(UnitChangeSaves&)> arrange;  // with saves working; nullptr: nothing
  std::function<void(UnitChangeSaves&)> make;
  std::string told;         // what the raw TCP and telnet clients hear
  const char* serial_told;  // what the RS-232 port hears when it differs (nullptr: the same)
  const char* paused_on;    // line 0 of the LCD while the panel shows the outcome; "" for no pause
  int writes_under_lock;    // files the change itself writes while holding the lock
};
void PrintTo(const UnitChange& change, std::ostream* out) { *out << change.name; }

class UnitChangeSaves : public testsupport::SimUnitFixture,
                        public ::testing::WithParamInterface<UnitChange> {
 public:
  UnitChangeSaves() : SimUnitFixture(Panel()) {}
  using UnitRootFixture::Write;

  void SetUp() override {
    SimUnitFixture::SetUp();
    g_unit.config_path = kConfigFile;
    ResetAppConfig(g_unit.config_path, &g_unit.config, "02:00:00:00:00:01");
    g_unit.config.dhcp = 0;
    g_unit.config.ipaddress = "192.168.0.200";
    g_unit.config.front_lcd = 1;
    g_unit.config.power = 1;
    g_unit.config.standbytime = 1;  // auto standby after 120 passes without signal
    g_unit.pending = g_unit.config;
    ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
    InitPowerGpios();
    for (int gpio : kGpioPhantom) {
      GpioOpen(gpio);
      GpioSetOut(gpio);
    }
    LcdInit();
    InitFrontLeds();
    g_power.applied = 1;
    g_power.deep_sleep = 0;
    g_power.auto_standby_state = 1;
    g_panel.lcd_page = 2;
    g_panel.notice = 0;
    MenuRedraw();
    platform::SetClock(&panel_clock_);
  }
  void TearDown() override {
    platform::SetWriteStepHook(nullptr);
    platform::SetClock(&clock_);
    g_power.backlight_countdown = -1;
    SimUnitFixture::TearDown();
  }

  // A key pressed and released as the key thread reads it from the controller.
  void PressOnController(uint8_t byte1) {
    board().keys().SetStatus(0x00, byte1);
    for (int poll = 0; poll < 3; ++poll) KeyThreadPass(&keys_);
    board().keys().SetStatus(0x00, 0x00);
    for (int poll = 0; poll < 3; ++poll) KeyThreadPass(&keys_);
  }
  // Keys handed to the current page as the key thread does.
  static void PressOnPage(const std::vector<key_type_e>& keys) {
    for (key_type_e key : keys)
      for (lcd_menu_s& m : g_panel.menu)
        if (m.id == g_panel.lcd_page && m.on_key) {
          m.on_key(&m, key);
          break;
        }
  }
  // Auto-standby passes with the given signal until the power setting is `power`.
  void StandbyUntilPower(bool signal, int power) {
    for (int pass = 0; pass < 1000 && g_unit.config.power != power; ++pass) standby_.Pass(signal);
    ASSERT_EQ(g_unit.config.power, power);
  }

 protected:
  PanelClock panel_clock_{[this] { return lcd().Line(0) + "|" + lcd().Line(1); }};
  KeyThreadState keys_;
  AutoStandby standby_;
};

TEST_P(UnitChangeSaves, AFailedSaveIsToldAfterTheChangeAndNeverShownAsSuccess) {
  const UnitChange& change = GetParam();
  if (change.arrange) change.arrange(*this);

  std::mutex heard_mutex;
  std::string network_clients, serial_port;
  SetNoticeSink([&](const std::string& text) {
    std::lock_guard<std::mutex> lock(heard_mutex);
    network_clients += text;
    serial_port += text;
  });
  SetNetworkNoticeSink([&](const std::string& text) {
    std::lock_guard<std::mutex> lock(heard_mutex);
    network_clients += text;
  });
  int writes_under_lock = 0;
  platform::SetWriteStepHook([&](platform::WriteStep step) {
    if (step != platform::WriteStep::kOpen) return;
    // Another thread tells whether the lock is taken (it is recursive: this one always could).
    if (!std::async(std::launch::async, ConfigLockFree).get()) ++writes_under_lock;
  });
  platform::FailWritesUnder(platform::Path("/oem"));
  const size_t pauses_before = panel_clock_.pauses().size();

  change.make(*this);

  platform::SetWriteStepHook(nullptr);
  {
    std::lock_guard<std::mutex> lock(heard_mutex);
    EXPECT_EQ(network_clients, change.told);
    EXPECT_EQ(serial_port, change.serial_told ? change.serial_told : change.told);
  }
  EXPECT_EQ(writes_under_lock, change.writes_under_lock);
  std::vector<std::string> pauses = panel_clock_.pauses();
  pauses.erase(pauses.begin(), pauses.begin() + long(pauses_before));
  for (const std::string& shown : pauses)
    EXPECT_EQ(shown.find("SUCCESS"), std::string::npos) << shown;
  EXPECT_EQ((lcd().Line(0) + lcd().Line(1)).find("SUCCESS"), std::string::npos);
  if (*change.paused_on != '\0') {
    ASSERT_EQ(pauses.size(), 1u);
    EXPECT_EQ(pauses[0], std::string(change.paused_on) + "|" + std::string(16, ' '));
  }
}

const UnitChange kUnitChanges[] = {
    {"PowerKey", nullptr, [](UnitChangeSaves& t) { t.PressOnController(0x20); },
     std::string("[SUCCESS]Set system power off.\r\n") + kFailed + "VX7206>", nullptr, "", 0},
    {"PhantomPage", nullptr,
     [](UnitChangeSaves&) {
       UnitChangeSaves::PressOnPage({KEY_TYPE_E_2, KEY_TYPE_E_UP, KEY_TYPE_E_OK, KEY_TYPE_E_OK});
     },
     std::string("[SUCCESS]Set analogue input CH2 phantom power on.\r\n") + kFailed, nullptr,
     "  SAVE FAILED   ", 0},
    {"UsbPage", nullptr,
     [](UnitChangeSaves&) {
       UnitChangeSaves::PressOnPage(
           {KEY_TYPE_E_MENU, KEY_TYPE_E_OK, KEY_TYPE_E_DOWN, KEY_TYPE_E_OK});
     },
     std::string("[SUCCESS]Set USB port to USB-C.\r\n") + kFailed, nullptr, "  SAVE FAILED   ", 0},
    // The dhcpcd.conf of the new mode is written as part of the change, and the old mode's when
    // the failed save takes the change back.
    {"NetworkPage",
     [](UnitChangeSaves&) {
       UnitChangeSaves::Write("/usr/local/backend/apps/dhcpcd.conf", "# dhcp\n");
     },
     [](UnitChangeSaves&) {
       UnitChangeSaves::PressOnPage(
           {KEY_TYPE_E_MENU, KEY_TYPE_E_DOWN, KEY_TYPE_E_OK, KEY_TYPE_E_UP, KEY_TYPE_E_OK});
     },
     std::string("[SUCCESS]Set IP mode: DHCP.\r\n") + kFailed + "[SUCCESS]Set IP mode: Static.\r\n",
     nullptr, "  SAVE FAILED   ", 2},
    {"KeyWakingTheUnit", [](UnitChangeSaves&) { g_unit.config.power = 0; },
     [](UnitChangeSaves& t) { t.PressOnController(0x10); },
     std::string("[SUCCESS]Set system power on, please wait a moment...\r\n") + kFailed, nullptr,
     "", 0},
    // The button's line is not written to the RS-232 port, nor the failed save of a change that
    // port never hears of.
    {"UsbButton", nullptr, [](UnitChangeSaves&) { HandleUsbSelectButton(); },
     std::string("[SUCCESS]Set USB port to USB-C\r\n") + kFailed + "VX7206>", "", "", 0},
    {"AutoStandbyEntering", nullptr, [](UnitChangeSaves& t) { t.StandbyUntilPower(false, 0); },
     std::string("\r\nVX7206>No signal input, the system enters auto standby\r\n") + kFailed,
     nullptr, "", 0},
    {"AutoStandbyWaking", [](UnitChangeSaves& t) { t.StandbyUntilPower(false, 0); },
     [](UnitChangeSaves& t) { t.StandbyUntilPower(true, 1); },
     std::string("\r\nVX7206>Signal detected, the system is waking up\r\n") + kFailed, nullptr, "",
     0},
};

// The panel's network mode with the save failing: the mode and dhcpcd.conf go back to what they
// were, the ports are told the mode that stands (the table above) and no restart is asked for, so
// the unit never starts in a mode app.json does not hold.
TEST_F(UnitChangeSaves, AnUnsavedNetworkModeIsTakenBackWithoutARestart) {
  Write("/usr/local/backend/apps/dhcpcd.conf", "# dhcp\n");
  ResetRebootRequest();
  platform::FailWritesUnder(platform::Path("/oem"));
  PressOnPage({KEY_TYPE_E_MENU, KEY_TYPE_E_DOWN, KEY_TYPE_E_OK, KEY_TYPE_E_UP, KEY_TYPE_E_OK});
  EXPECT_EQ(g_unit.config.dhcp, 0);
  EXPECT_EQ(g_unit.pending.dhcp, 0);
  EXPECT_NE(Read("/etc/dhcpcd.conf").find("static ip_address=192.168.0.200"),
            std::string::npos);
  EXPECT_FALSE(RebootRequested());
}

// The network page's second of outcome comes after the change's turn: the ports have heard the
// mode when the panel pauses, and a change made during the pause is told without waiting for it.
TEST_F(UnitChangeSaves, TheNetworkPagePausesAfterItsTurn) {
  Write("/usr/local/backend/apps/dhcpcd.conf", "# dhcp\n");
  ResetRebootRequest();
  std::mutex heard_mutex;
  std::string heard;
  SetNoticeSink([&](const std::string& text) {
    std::lock_guard<std::mutex> lock(heard_mutex);
    heard += text;
  });
  std::string heard_at_pause;
  bool other_told_in_pause = false;
  std::future<UnitCommit> other;
  PanelClock pausing([&] {
    {
      std::lock_guard<std::mutex> lock(heard_mutex);
      heard_at_pause = heard;
    }
    other = std::async(std::launch::async, [] {
      return CommitUnitChange([](UnitNotice& notice) {
        notice.lines = "[SUCCESS]Meanwhile.\r\n";
        return false;
      });
    });
    other_told_in_pause = testsupport::WaitFor([&] {
      return other.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }, std::chrono::milliseconds(20000));
    return lcd().Line(0);
  });
  platform::SetClock(&pausing);
  PressOnPage({KEY_TYPE_E_MENU, KEY_TYPE_E_DOWN, KEY_TYPE_E_OK, KEY_TYPE_E_UP, KEY_TYPE_E_OK});
  ASSERT_TRUE(other.valid());
  other.get();
  EXPECT_EQ(pausing.pauses(), std::vector<std::string>{"   SUCCESS!!!   "});
  EXPECT_EQ(heard_at_pause, "[SUCCESS]Set IP mode: DHCP.\r\n");
  EXPECT_TRUE(other_told_in_pause);
  EXPECT_EQ(heard, "[SUCCESS]Set IP mode: DHCP.\r\n[SUCCESS]Meanwhile.\r\n");
  EXPECT_TRUE(RebootRequested());
}

// A failed save takes the panel's mode back only while it is still the mode: a mode a port set
// between the panel's change and its turn stays, dhcpcd.conf with it, and nothing is taken back.
TEST_F(UnitChangeSaves, AModeAPortSetMeanwhileIsNotTakenBack) {
  Write("/usr/local/backend/apps/dhcpcd.conf", "# dhcp\n");
  g_unit.config.dhcp = 1;
  g_unit.pending.dhcp = 1;
  std::mutex heard_mutex;
  std::string heard;
  SetNoticeSink([&](const std::string& text) {
    std::lock_guard<std::mutex> lock(heard_mutex);
    heard += text;
  });
  std::atomic<bool> port_changed{false};
  std::future<UnitCommit> port;
  platform::SetWriteStepHook([&](platform::WriteStep step) {
    // The panel's save, made without the lock: a port sets DHCP again now.
    if (step != platform::WriteStep::kOpen || port_changed) return;
    if (!std::async(std::launch::async, ConfigLockFree).get()) return;
    port_changed = true;
    port = std::async(std::launch::async, [] {
      return CommitUnitChange(
          [](UnitNotice& notice) { return ChangeDhcpMode(g_unit, 1, notice.lines); });
    });
    EXPECT_TRUE(testsupport::WaitFor([] {
      ConfigReadLock lock;
      return g_unit.config.dhcp == 1;
    }));
  });
  platform::FailWritesUnder(platform::Path("/oem"));
  // Static on the panel.
  PressOnPage({KEY_TYPE_E_MENU, KEY_TYPE_E_DOWN, KEY_TYPE_E_OK, KEY_TYPE_E_UP, KEY_TYPE_E_OK});
  ASSERT_TRUE(port.valid());
  port.get();
  platform::SetWriteStepHook(nullptr);
  EXPECT_EQ(g_unit.config.dhcp, 1);
  EXPECT_EQ(g_unit.pending.dhcp, 1);
  EXPECT_EQ(Read("/etc/dhcpcd.conf").find("static ip_address"), std::string::npos);
  EXPECT_EQ(heard, std::string("[SUCCESS]Set IP mode: Static.\r\n") + kFailed +
                       "[SUCCESS]Set IP mode: DHCP.\r\n" + kFailed);
}

INSTANTIATE_TEST_SUITE_P(MadeOnTheUnit, UnitChangeSaves, ::testing::ValuesIn(kUnitChanges),
                         [](const ::testing::TestParamInfo<UnitChange>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
