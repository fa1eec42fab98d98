#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/notices.h"
#include "devctl/core/presets.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/auto_standby.h"
#include "devctl/hardware/menu_pages.h"
#include "devctl/hardware/power.h"
#include "devctl/hardware/power_state.h"
#include "devctl/text/broadcast.h"
#include "devctl/text/control_servers.h"
#include "devctl/text/greetings.h"
#include "platform/paths.h"
#include "socket_client.h"
#include "tests/support/sim_unit.h"
#include "tests/support/wait_for.h"

namespace {

class Power : public testsupport::SimUnitFixture {
 protected:
  Power() : SimUnitFixture(Panel()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    g_unit.config_path = kConfigFile;
    ResetAppConfig(g_unit.config_path, &g_unit.config, "02:00:00:00:00:01");
    g_unit.config.type = "TRX";
    InitPowerGpios();
    LcdInit();
    InitFrontLeds();
    g_power.applied = 1;
    g_power.deep_sleep = 0;
    g_power.auto_standby_state = 1;
    board().dsp_a().ClearJournal();
    board().dsp_b().ClearJournal();
    platform::sim_i2c().ClearTransfers();
    fs().ClearHistory();
  }
  void TearDown() override {
    g_power.applied = 0;
    g_power.deep_sleep = 0;
    g_power.auto_standby_state = 1;
    g_power.backlight_countdown = -1;
    SimUnitFixture::TearDown();
  }
  // Levels written to a line since the last ClearHistory.
  std::vector<int> Levels(int gpio) {
    std::vector<int> out;
    for (const auto& e : fs().History(gpio)) out.push_back(e.level);
    return out;
  }
  // (cell, word) of every one-word safeload on both DSPs, DSP A first.
  std::vector<std::pair<uint16_t, uint32_t>> SetterWrites() {
    std::vector<std::pair<uint16_t, uint32_t>> out;
    for (sim::SimDsp* dsp : {&board().dsp_a(), &board().dsp_b()})
      for (const auto& e : dsp->Safeloads())
        if (e.words.size() == 1) out.emplace_back(e.target, e.words[0]);
    return out;
  }
  std::vector<std::pair<uint16_t, uint32_t>> AllMuted() {
    std::vector<std::pair<uint16_t, uint32_t>> a, b;
    for (int c = 0; c < 14; ++c) {
      auto& side = (c >= 4 && c <= 11) ? b : a;
      side.emplace_back(uint16_t(g_dsp_input_mute_addr[c]), 0);
      side.emplace_back(uint16_t(g_dsp_output_mute_addr[c]), 0);
    }
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
};

TEST_F(Power, StandbyMutesEverythingAndPowerOnRestoresTheConfiguredMutes) {
  g_unit.config.standby_mode = 1;
  g_unit.config.tarvo_output_mute[2] = 1;  // channel 6 stays muted after power-on
  g_unit.config.power = 0;
  PowerWorkerPass();
  EXPECT_EQ(SetterWrites(), AllMuted());
  EXPECT_EQ(fs().Level(kGpioAudioMute), 1);
  EXPECT_EQ(g_power.deep_sleep, 0);
  EXPECT_EQ(fs().Level(kGpioSleep), 0);
  PowerWorkerPass();  // nothing changed: nothing happens
  EXPECT_EQ(SetterWrites(), AllMuted());

  board().dsp_a().ClearJournal();
  board().dsp_b().ClearJournal();
  g_unit.config.power = 1;
  PowerWorkerPass();
  auto restored = SetterWrites();
  ASSERT_EQ(restored.size(), 28u);
  for (const auto& [cell, word] : restored) {
    bool muted = cell == g_dsp_output_mute_addr[6];
    EXPECT_EQ(word, muted ? 0u : 0x01000000u) << std::hex << cell;
  }
  EXPECT_TRUE(board().dsp_a().ControlWrites().empty());  // no boot
  EXPECT_EQ(fs().Level(kGpioAudioMute), 0);
  EXPECT_EQ(lcd().Backlight(), 1);
}

TEST_F(Power, SleepCutsTheRailAndAWakeAsksForAReboot) {
  g_unit.config.standby_mode = 0;
  g_unit.config.power = 0;
  PowerWorkerPass();
  EXPECT_EQ(Levels(kGpioAudioMute), (std::vector<int>{1, 0}));
  EXPECT_EQ(fs().Level(kGpioSleep), 1);
  EXPECT_EQ(fs().LedValue("gpio-power3v3"), 0);
  EXPECT_EQ(Read("/tmp/enp1s0_down"), "1");
  EXPECT_EQ(g_power.deep_sleep, 1);

  fs().ClearHistory();
  platform::sim_i2c().ClearTransfers();
  g_unit.config.power = 1;
  PowerWorkerPass();
  EXPECT_EQ(Read("/oem/auto_standy"), "1");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
  EXPECT_EQ(g_power.deep_sleep, 0);
  // No reboot came: the sleep line falls and the rail returns before the expander pulse, then
  // the DSPs are booted and configured.
  auto sleep_events = fs().History(kGpioSleep);
  ASSERT_FALSE(sleep_events.empty());
  EXPECT_EQ(sleep_events.back().level, 0);
  EXPECT_EQ(fs().LedValue("gpio-power3v3"), 255);
  auto pulse = platform::sim_i2c().Transfers(4, 0x1F);
  ASSERT_FALSE(pulse.empty());
  EXPECT_LE(sleep_events.back().time_us, pulse.front().time_us);
  EXPECT_FALSE(board().dsp_a().ControlWrites().empty());
  EXPECT_EQ(board().dsp_a().Word(0x40E4), DspSourceCode(g_unit.config.control[3]));
  EXPECT_EQ(fs().Level(kGpioAudioMute), 0);
}

TEST_F(Power, PresetRecallFollowsThePowerSequenceWithTheMuteRaised) {
  g_unit.config.standby_mode = 1;
  g_unit.config.preset_enable[0] = 1;
  g_unit.presets[0] = g_unit.config;
  g_unit.presets[0].control[0] = 2;
  g_unit.config.power = 0;
  {
    ConfigLock lock;
    ASSERT_TRUE(RecallPresetIntoRecord(g_unit, 1));
  }
  PowerWorkerPass();
  EXPECT_FALSE(RecallWritesPending());
  EXPECT_EQ(g_unit.config.control[0], 2);
  // The 28 standby mutes, then the preset's routing change on DSP A.
  auto writes = SetterWrites();
  auto expected = AllMuted();
  expected.insert(expected.begin() + 12, {uint16_t(0x1B49), DspSourceCode(2)});
  EXPECT_EQ(writes, expected);
  auto a = board().dsp_a().Safeloads();
  EXPECT_EQ(a[12].target, 0x1B49);
  // Raised by the standby, raised for the recall and left raised: standby holds it.
  EXPECT_EQ(Levels(kGpioAudioMute), (std::vector<int>{1, 1, 1}));
}

// A recall's audible step raises the audio-mute line and leaves it as the power state holds it:
// released when on and in deep sleep, raised in standby until the next power-on.
TEST_F(Power, ARecallLeavesTheMuteLineAsThePowerStateHoldsIt) {
  struct Case {
    const char* state;
    int power, standby_mode, deep_sleep;
    int line_after;
  };
  const Case kCases[] = {
      {"on", 1, 1, 0, 0},
      {"standby", 0, 1, 0, 1},
      {"deep sleep", 0, 0, 1, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.state);
    g_unit.config.power = c.power;
    g_unit.config.standby_mode = c.standby_mode;
    g_unit.config.preset_enable[1] = 1;
    g_unit.presets[1] = g_unit.config;
    g_unit.presets[1].control[0] = g_unit.config.control[0] == 2 ? 3 : 2;
    g_power.applied = uint8_t(c.power);
    g_power.deep_sleep = c.deep_sleep;
    SetAudioMuteGpio(c.line_after);  // as the power sequence left it
    fs().ClearHistory();
    {
      ConfigLock lock;
      ASSERT_TRUE(RecallPresetIntoRecord(g_unit, 2));
    }
    PowerWorkerPass();
    EXPECT_FALSE(RecallWritesPending());
    EXPECT_EQ(Levels(kGpioAudioMute), (std::vector<int>{1, c.line_after}));
  }
}

TEST_F(Power, RailsAtTheEndOfTheBootScreen) {
  struct Case {
    int power, standby_mode;
    int sleep_line, rail, deep_sleep;
  } cases[] = {{1, 0, 0, 255, 0}, {0, 1, 0, 255, 0}, {0, 0, 1, 0, 1}};
  for (const Case& c : cases) {
    g_unit.config.power = c.power;
    g_unit.config.standby_mode = c.standby_mode;
    g_power.deep_sleep = 0;
    ApplyPowerRails(c.power != 0);
    EXPECT_EQ(fs().Level(kGpioSleep), c.sleep_line);
    EXPECT_EQ(fs().LedValue("gpio-power3v3"), c.rail);
    EXPECT_EQ(g_power.deep_sleep, c.deep_sleep);
    EXPECT_EQ(Exists("/tmp/enp1s0_down"), c.deep_sleep == 1);
  }
}

// A power-off stored after the worker's last pass and before the boot screen ends: the rails
// follow the stored state, and the worker still mutes the DSPs and raises the audio-mute line.
TEST_F(Power, APowerOffStoredAsTheBootScreenEndsIsCarriedOut) {
  g_unit.config.standby_mode = 1;
  g_unit.config.power = 0;
  ApplyPowerRails(0);
  PowerWorkerPass();
  EXPECT_EQ(SetterWrites(), AllMuted());
  EXPECT_EQ(fs().Level(kGpioAudioMute), 1);
}

// The serial port shows its banner when it starts; the stored power state that the worker's
// first pass carries out is no change, so that pass adds none. Later changes each show it.
TEST_F(Power, BannerOnlyForPowerChangesAfterStartUp) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  MakeDir("/dev");
  ASSERT_EQ(symlink(ttyname(slave), platform::Path("/dev/ttyS6").c_str()), 0);
  g_control_servers.uart.SetStartDelayMs(0);
  g_control_servers.uart.Init("uartthread");
  g_control_servers.uart.on_start = nullptr;
  ASSERT_EQ(g_control_servers.uart.Start(), 0);
  auto serial_until = [master](const std::string& mark) {
    std::string got;
    char buf[4096];
    while (got.find(mark) == std::string::npos) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, testclient::kPatienceMs) <= 0) {
        ADD_FAILURE() << "no \"" << mark << "\" on the serial line";
        break;
      }
      const ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, size_t(n));
    }
    return got;
  };
  const std::string banner_mark = "Terminal Control System";
  SetSerialBannerHook(SendUartBanner);  // as start-up installs it

  g_power.settled = false;  // as at start-up
  g_power.applied = 0;
  g_unit.config.power = 1;
  PowerWorkerPass();
  g_control_servers.uart.Write("<1>", 3);
  EXPECT_EQ(serial_until("<1>").find(banner_mark), std::string::npos);

  g_unit.config.power = 0;
  PowerWorkerPass();
  g_control_servers.uart.Write("<2>", 3);
  EXPECT_NE(serial_until("<2>").find(banner_mark), std::string::npos);

  SetSerialBannerHook(nullptr);
  g_control_servers.uart.Stop();
  g_control_servers.uart.SetStartDelayMs(12000);
  close(master);
  close(slave);
}

class AutoStandbyTest : public Power {
 protected:
  void SetUp() override {
    Power::SetUp();
    g_unit.config.standbytime = 1;
    g_unit.config.power = 1;
    // A raw TCP client sees what the thread sends to the control ports.
    RegisterControlPortNotices();
    ASSERT_EQ(g_control_servers.tcp.Init("tcpthread", 0, CTcpserver::kModeRaw), 0);
    ASSERT_EQ(g_control_servers.tcp.Start(), 0);
    client_ = testclient::Connect(g_control_servers.tcp.BoundPort());
    ASSERT_GE(client_, 0);
    ASSERT_TRUE(testsupport::WaitFor([] { return g_control_servers.tcp.ClientCount() > 0; }));
  }
  void TearDown() override {
    close(client_);
    g_control_servers.tcp.Stop();
    Power::TearDown();
  }
  // Runs passes with the given signal until power turns 0; the pass count, or -1.
  int PassesUntilStandby(AutoStandby& standby, bool signal, int limit) {
    for (int pass = 1; pass <= limit; ++pass) {
      standby.Pass(signal);
      if (g_unit.config.power == 0) return pass;
    }
    return -1;
  }
  int client_ = -1;
};

// The POWER key's changes reach the control ports as the unit's status lines, each with the prompt.
class PowerKeyTest : public AutoStandbyTest {};

TEST_F(PowerKeyTest, EachPressIsToldWithTheStatusLineAndThePrompt) {
  MenuCommonKey(nullptr, KEY_TYPE_E_POWER);
  EXPECT_EQ(g_unit.config.power, 0);
  EXPECT_EQ(testclient::ReadUntil(client_, "VX7206>"), "[SUCCESS]Set system power off.\r\nVX7206>");
  MenuCommonKey(nullptr, KEY_TYPE_E_POWER);
  EXPECT_EQ(g_unit.config.power, 1);
  EXPECT_EQ(testclient::ReadUntil(client_, "VX7206>"),
            "[SUCCESS]Set system power on, please wait a moment...\r\nVX7206>");
}

TEST_F(AutoStandbyTest, SilenceEntersStandbyAfterTheConfiguredTime) {
  AutoStandby standby;
  // One pass arms the countdown, 120 count it down, the next one acts.
  EXPECT_EQ(PassesUntilStandby(standby, false, 200), 122);
  EXPECT_TRUE(standby.entered());
  EXPECT_EQ(testclient::ReadUntil(client_, "auto standby\r\n"),
            "\r\nVX7206>No signal input, the system enters auto standby\r\n");
  EXPECT_EQ(SetterWrites().size(), 14u);
  app_config_s saved;
  LoadAppConfigFile(kConfigFile, kConfigFile, &saved, "", "TRX");
  EXPECT_EQ(saved.power, 0);
  // The countdown wrapped: it does not expire again.
  EXPECT_EQ(standby.ticks(), 0xFFFFFFFFu);

  standby.Pass(true);
  EXPECT_EQ(g_unit.config.power, 1);
  EXPECT_EQ(g_power.auto_standby_state, 1);
  EXPECT_EQ(testclient::ReadUntil(client_, "waking up\r\n"),
            "\r\nVX7206>Signal detected, the system is waking up\r\n");
  standby.Pass(true);  // woken: nothing more is sent
  EXPECT_EQ(testclient::ReadUntil(client_, "", 100), "");
  LoadAppConfigFile(kConfigFile, kConfigFile, &saved, "", "TRX");
  EXPECT_EQ(saved.power, 1);
}

TEST_F(AutoStandbyTest, SignalRestartsTheCountdownAndOffMeansOff) {
  AutoStandby standby;
  standby.Pass(false);
  for (int i = 0; i < 100; ++i) standby.Pass(false);
  standby.Pass(true);
  EXPECT_EQ(standby.ticks(), 120u);
  EXPECT_EQ(PassesUntilStandby(standby, false, 200), 121);

  AutoStandby off;
  g_unit.config.power = 1;
  g_power.auto_standby_state = 1;
  g_unit.config.standbytime = 0;
  EXPECT_EQ(PassesUntilStandby(off, false, 1000), -1);

  // Powered off by a command while counting: reaching 0 does nothing.
  AutoStandby counting;
  g_unit.config.standbytime = 1;
  counting.Pass(false);
  g_unit.config.power = 0;
  for (int i = 0; i < 130; ++i) counting.Pass(false);
  EXPECT_FALSE(counting.entered());
  EXPECT_EQ(g_unit.config.power, 0);
}

}  // namespace
