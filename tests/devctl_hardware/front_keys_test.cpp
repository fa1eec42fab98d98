#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/key_scanner.h"
#include "devctl/hardware/buttons.h"
#include "devctl/hardware/key_controller.h"
#include "devctl/hardware/panel_state.h"
#include "tests/support/sim_unit.h"

namespace {

// Key presses as the test page receives them.
std::vector<key_type_e> g_keys_seen;

class FrontKeys : public testsupport::SimUnitFixture {
 protected:
  FrontKeys() : SimUnitFixture(Panel()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    MakeDir("/oem");
    ResetAppConfig("", &g_unit.config, "");
    g_unit.config.power = 1;
    g_unit.config.front_lcd = 1;
    g_unit.config_path = "/oem/app.json";
    saved_ = g_panel.menu[0].on_key;
    g_panel.menu[0].on_key = [](lcd_menu_s*, key_type_e key) {
      g_keys_seen.push_back(key);
      return 0;
    };
    g_panel.lcd_page = 2;
    g_panel.notice = 0;
    g_keys_seen.clear();
  }
  void TearDown() override {
    g_panel.menu[0].on_key = saved_;
    g_panel.reset_key_blink = 0;
    SimUnitFixture::TearDown();
  }
  // n polls of the key thread with the given status bytes.
  void Poll(uint8_t byte0, uint8_t byte1, int n = 1) {
    board().keys().SetStatus(byte0, byte1);
    for (int i = 0; i < n; ++i) KeyThreadPass(&state_);
  }

  KeyThreadState state_;
  std::function<int(lcd_menu_s*, key_type_e)> saved_;
};

TEST_F(FrontKeys, ControllerSetUpWritesEveryRegister) {
  InitKeyController();
  auto config = board().keys().Config();
  EXPECT_EQ(config[1], std::make_pair(uint8_t(0x80), uint8_t(0x00)));
  EXPECT_EQ(config[39], std::make_pair(uint8_t(0x03), uint8_t(0x01)));
  EXPECT_EQ(config[7], std::make_pair(uint8_t(0x00), uint8_t(0x06)));
  EXPECT_EQ(config[18], std::make_pair(uint8_t(0x00), uint8_t(0x06)));
  EXPECT_EQ(config[19], std::make_pair(uint8_t(0x00), uint8_t(0x03)));
  EXPECT_EQ(config[30], std::make_pair(uint8_t(0x00), uint8_t(0x03)));
  EXPECT_EQ(board().keys().ConfigWrites().size(), 26u);
}

TEST_F(FrontKeys, PressIsTakenOnTheThirdDifferingPoll) {
  Poll(0x00, 0x10, 2);  // MENU seen twice: not yet
  EXPECT_TRUE(g_keys_seen.empty());
  Poll(0x00, 0x10);
  EXPECT_EQ(g_keys_seen, std::vector<key_type_e>{KEY_TYPE_E_MENU});
  // The release is taken the same way and hands nothing.
  Poll(0x00, 0x00, 3);
  EXPECT_EQ(g_keys_seen.size(), 1u);
}

TEST_F(FrontKeys, SeveralPressesInOnePassTheLastInOrderWins) {
  struct Case {
    uint8_t byte0, byte1;
    key_type_e key;
  } cases[] = {
      {0x00, 0x81, KEY_TYPE_E_OK},      // 1 and OK
      {0x01, 0x00, KEY_TYPE_E_DOWN},    // DOWN alone
      {0x0F, 0x00, KEY_TYPE_E_LEFT},    // every arrow
      {0x08, 0x20, KEY_TYPE_E_POWER},   // LEFT and POWER
      {0x00, 0x48, KEY_TYPE_E_CANCEL},  // 4 and CANCEL
  };
  for (const Case& c : cases) {
    g_keys_seen.clear();
    Poll(c.byte0, c.byte1, 3);
    Poll(0, 0, 3);
    EXPECT_EQ(g_keys_seen, std::vector<key_type_e>{c.key}) << int(c.byte0) << " " << int(c.byte1);
  }
}

TEST_F(FrontKeys, CancelHeldFor400PollsGivesReset) {
  Poll(0x00, 0x40, 3);
  EXPECT_EQ(g_keys_seen, std::vector<key_type_e>{KEY_TYPE_E_CANCEL});
  Poll(0x00, 0x40, 396);
  EXPECT_EQ(g_keys_seen.size(), 1u);
  Poll(0x00, 0x40);
  EXPECT_EQ(g_keys_seen, (std::vector<key_type_e>{KEY_TYPE_E_CANCEL, KEY_TYPE_E_RESET}));
}

TEST_F(FrontKeys, LockedKeysShowTheNoticeAndReachNoPage) {
  g_unit.config.key_lock = 1;
  Poll(0x00, 0x01, 3);
  EXPECT_EQ(g_panel.notice.load(), 1);
  g_panel.notice = 0;
  Poll(0x00, 0x00, 3);  // the release repeats the notice
  EXPECT_EQ(g_panel.notice.load(), 1);
  EXPECT_TRUE(g_keys_seen.empty());
}

TEST_F(FrontKeys, KeyWakesAUnitThatIsOffAndActsOnRelease) {
  g_unit.config.power = 0;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  Poll(0x00, 0x10, 3);
  EXPECT_EQ(g_unit.config.power, 1);
  EXPECT_TRUE(g_keys_seen.empty());
  app_config_s stored;
  std::string path = g_unit.config_path;
  LoadAppConfigFile(path, "/oem/app.json", &stored, "", g_unit.config.type);
  EXPECT_EQ(stored.power, 1) << "the wake is saved";
  Poll(0x00, 0x00, 3);
  EXPECT_EQ(g_keys_seen, std::vector<key_type_e>{KEY_TYPE_E_MENU});

  // POWER goes to the page at once.
  g_unit.config.power = 0;
  g_keys_seen.clear();
  Poll(0x00, 0x20, 3);
  EXPECT_EQ(g_keys_seen, std::vector<key_type_e>{KEY_TYPE_E_POWER});
}

class Buttons : public FrontKeys {
 protected:
  void SetUp() override {
    FrontKeys::SetUp();
    keys_ = std::make_unique<CKey>("keythread");
    keys_->on_reset_key = [this](reset_key_long s) { reports_.push_back(s); };
    keys_->on_usb_button = [this] { ++usb_presses_; };
  }
  void TearDown() override {
    keys_.reset();
    FrontKeys::TearDown();
  }
  // n ticks of the scan with the given line levels (0 = pressed).
  void Ticks(int reset_level, int usb_level, int n) {
    fs().SetInput(kGpioResetKey, reset_level);
    fs().SetInput(kGpioUsbButton, usb_level);
    for (int i = 0; i < n; ++i) {
      keys_->Tick(&scan_);
      clock_.Advance(10000);
    }
  }

  std::unique_ptr<CKey> keys_;
  KeyScanState scan_;
  std::vector<reset_key_long> reports_;
  int usb_presses_ = 0;
};

TEST_F(Buttons, ResetKeyReportsHoldTimesAndOneRelease) {
  struct Case {
    int held_ticks;
    std::vector<reset_key_long> reports;
  } cases[] = {
      {150, {}},
      {300, {RESET_KEY_LONG_HELD_2S, RESET_KEY_LONG_RELEASED}},
      {500, {RESET_KEY_LONG_HELD_2S, RESET_KEY_LONG_HELD_4S, RESET_KEY_LONG_RELEASED}},
  };
  for (const Case& c : cases) {
    reports_.clear();
    Ticks(0, 1, c.held_ticks);
    Ticks(1, 1, 5);
    EXPECT_EQ(reports_, c.reports) << c.held_ticks;
  }
}

TEST_F(Buttons, UsbButtonNeeds20Ms) {
  Ticks(1, 0, 1);
  Ticks(1, 1, 1);
  EXPECT_EQ(usb_presses_, 0);
  Ticks(1, 0, 3);
  Ticks(1, 1, 1);
  EXPECT_EQ(usb_presses_, 1);
}

TEST_F(Buttons, HeartbeatToggles) {
  Ticks(1, 1, 49);
  EXPECT_EQ(fs().Level(kGpioHeartbeat), 0);
  Ticks(1, 1, 1);
  EXPECT_EQ(fs().Level(kGpioHeartbeat), 1);
}

TEST_F(Buttons, UsbSelectTogglesThePortUnlessLocked) {
  g_unit.config.usb_status = 1;
  HandleUsbSelectButton();
  EXPECT_EQ(g_unit.config.usb_status, 0);
  EXPECT_NE(Read("/oem/app.json").find("\"usb_status\":\t0"), std::string::npos);
  g_unit.config.key_lock = 1;
  HandleUsbSelectButton();
  EXPECT_EQ(g_unit.config.usb_status, 0);
}

TEST_F(Buttons, ResetKeyBlinksThenRestoresOrResetsAll) {
  g_unit.config.usb_status = 0;
  HandleResetKey(RESET_KEY_LONG_HELD_2S);
  EXPECT_EQ(g_panel.reset_key_blink.load(), 1);
  HandleResetKey(RESET_KEY_LONG_RELEASED);
  EXPECT_EQ(g_panel.reset_key_blink.load(), 0);
  EXPECT_EQ(fs().LedValue("gpio1_c0"), 255);

  g_unit.config.model = "Changed";
  HandleResetKey(RESET_KEY_LONG_HELD_2S);
  HandleResetKey(RESET_KEY_LONG_HELD_4S);
  EXPECT_EQ(g_panel.reset_key_blink.load(), 2);
  EXPECT_EQ(g_unit.config.model, "VX7206");
  EXPECT_EQ(g_unit.config.type, "TRX");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
  HandleResetKey(RESET_KEY_LONG_RELEASED);
  EXPECT_EQ(g_panel.reset_key_blink.load(), 2);
}

}  // namespace
