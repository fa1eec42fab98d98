#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/app/startup.h"
#include "devctl/core/config_file.h"
#include "devctl/core/timer.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/key_scanner.h"
#include "devctl/hardware/power.h"
#include "devctl/hardware/power_state.h"
#include "devctl/text/dispatcher.h"
#include "devctl/web/application.h"
#include "platform/command.h"
#include "platform/net_if.h"
#include "tests/support/sim_unit.h"

namespace {

class Startup : public testsupport::SimUnitFixture {
 protected:
  Startup() : SimUnitFixture(Panel()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    platform::SetCommandRunner(&runner_);
    platform::ResetSimInterfaces();
    g_unit.config = app_config_s();
    g_unit.pending = app_config_s();
    g_unit.identity = device_identity_s();
    g_power.deep_sleep = 0;
    g_power.applied = 0;
    Write("/usr/local/backend/apps/version", "2.0.1\n");
    Write("/tmp/mcu_version", "M1.4\n");
    Write("/usr/local/netaudio/tarvo_package/version", "NETAUDIO_VERSION=3.2\n");
  }
  void TearDown() override {
    platform::SetCommandRunner(nullptr);
    g_power.deep_sleep = 0;
    g_power.applied = 0;
    SimUnitFixture::TearDown();
  }
  // Starts with the given stored power state (no threads).
  void Start(const char* system_json) {
    if (system_json) Write("/oem/app.json", std::string("{\"system\": ") + system_json + "}");
    CApplication app("appthread");
    CKey keys("keythread");
    CTimer timer("timerthread");
    StartupOptions options;
    options.start_threads = false;
    DevctlStartup(app, keys, timer, options);
  }
  int64_t LastTime(unsigned bus, unsigned addr7) {
    auto t = platform::sim_i2c().Transfers(bus, addr7);
    return t.empty() ? -1 : t.back().time_us;
  }
  int64_t FirstTime(unsigned bus, unsigned addr7) {
    auto t = platform::sim_i2c().Transfers(bus, addr7);
    return t.empty() ? -1 : t.front().time_us;
  }
  platform::RecordingCommandRunner runner_;
};

TEST_F(Startup, FreshBoardGetsConfigurationIdentityAndVersions) {
  Start(nullptr);
  EXPECT_TRUE(Exists("/oem/app.json"));
  EXPECT_EQ(g_unit.config.type, "TRX");
  EXPECT_EQ(g_unit.pending.type, "TRX");
  EXPECT_EQ(g_unit.pending.telnetport, g_unit.config.telnetport);
  EXPECT_EQ(Read("/oem/mac"), "02:00:00:72:06:01");
  EXPECT_EQ(Read("/oem/sub_mac"), "02:00:00:72:06:02");
  EXPECT_EQ(g_unit.identity.mac, "02:00:00:72:06:01");
  EXPECT_EQ(Read("/etc/hostname"), g_unit.config.hostname);
  EXPECT_EQ(Read("/tmp/hostname"), "1");
  EXPECT_EQ(g_unit.identity.main_version, "2.0.1");
  EXPECT_EQ(g_unit.identity.mcu_version, "M1.4");
  EXPECT_EQ(g_unit.identity.netaudio_version, "V3.2");
  ASSERT_FALSE(runner_.Commands().empty());
  EXPECT_EQ(runner_.Commands().front(), platform::Path("/usr/local/backend/mcu/serial_upgrade") +
                                            " -v -d /dev/ttyS1 -b 115200-8n1");
}

TEST_F(Startup, PowerOnBootsAfterTheExpanderPulseAndReleasesTheMuteLast) {
  Start("{\"power\": 1}");
  // Reset lines low, 300 ms, high, 200 ms, enable, 200 ms: then the boot, 200 ms, the apply.
  int64_t pulse_end = LastTime(4, 0x1F);
  int64_t boot_start = std::min(FirstTime(3, 0x38), FirstTime(3, 0x39));
  ASSERT_GE(pulse_end, 0);
  EXPECT_GE(boot_start, pulse_end + 200000);
  EXPECT_NE(board().dsp_a().ControlWrites().size(), 0u);
  EXPECT_NE(board().dsp_b().ControlWrites().size(), 0u);
  // The apply ends with the routing.
  EXPECT_EQ(board().dsp_a().Word(0x1B49), DspSourceCode(g_unit.config.control[0]));
  auto mute = fs().History(kGpioAudioMute);
  ASSERT_FALSE(mute.empty());
  EXPECT_EQ(mute.back().level, 0);
  EXPECT_GE(mute.back().time_us, LastTime(3, 0x38));
  EXPECT_EQ(fs().Level(kGpioSleep), 0);
  EXPECT_EQ(fs().LedValue("gpio-power3v3"), 255);
  EXPECT_EQ(lcd().Backlight(), 1);
  EXPECT_EQ(leds().Memory()[0], 3);
}

TEST_F(Startup, StoredSleepLeavesTheDspsUnbootedAndTheRailOff) {
  Start("{\"power\": 0, \"standby_mode\": 0}");
  EXPECT_TRUE(board().dsp_a().ControlWrites().empty());
  EXPECT_TRUE(board().dsp_b().ControlWrites().empty());
  EXPECT_EQ(fs().Level(kGpioSleep), 1);
  EXPECT_EQ(fs().LedValue("gpio-power3v3"), 0);
  EXPECT_EQ(Read("/tmp/enp1s0_down"), "1");
  EXPECT_EQ(g_power.deep_sleep, 1);
  EXPECT_EQ(fs().Level(kGpioAudioMute), 0);
  // Every input and output was muted before the sleep line rose.
  EXPECT_EQ(board().dsp_a().Word(uint16_t(g_dsp_output_mute_addr[0])), 0u);
  EXPECT_EQ(board().dsp_b().Word(uint16_t(g_dsp_input_mute_addr[4])), 0u);
}

TEST_F(Startup, StoredStandbyBootsAndConfiguresWithTheMuteHeld) {
  Start("{\"power\": 0, \"standby_mode\": 1}");
  EXPECT_FALSE(board().dsp_a().ControlWrites().empty());
  EXPECT_EQ(board().dsp_a().Word(0x1B49), DspSourceCode(g_unit.config.control[0]));
  EXPECT_EQ(fs().Level(kGpioAudioMute), 1);
  EXPECT_EQ(fs().Level(kGpioSleep), 0);
  EXPECT_EQ(g_power.deep_sleep, 0);
}

// A power-off that comes after start-up read the stored power state and before the power
// worker's first pass (start-up without threads stops right there): that pass carries it out.
TEST_F(Startup, APowerOffBeforeTheWorkersFirstPassIsCarriedOut) {
  Start("{\"power\": 1, \"standby_mode\": 1}");
  ASSERT_EQ(fs().Level(kGpioAudioMute), 0);
  std::string line = "POFF\r";
  const std::string reply = DispatchLine(4, line.data(), int(line.size()));
  ASSERT_NE(reply.find("[SUCCESS]Set system power off."), std::string::npos) << reply;
  PowerWorkerPass();
  EXPECT_EQ(fs().Level(kGpioAudioMute), 1);
  for (int c = 0; c < kDspChannelCount; ++c) {
    EXPECT_TRUE(DspMuted(c)) << c;
    EXPECT_TRUE(OutputMutedCell(c)) << c;
  }
}

TEST_F(Startup, PhantomLinesFollowTheStoredSettings) {
  Write("/oem/app.json",
        "{\"input\": {\"analogue_input_phantom\": [1, 0, 1, 0]}, \"system\": {\"power\": 1}}");
  Start(nullptr);
  EXPECT_EQ(g_unit.config.analogue_input_phantom[2], 1);
  const int expected[4] = {1, 0, 1, 0};
  for (int ch = 0; ch < 4; ++ch) {
    EXPECT_TRUE(fs().IsOutput(kGpioPhantom[ch])) << ch;
    EXPECT_EQ(fs().Level(kGpioPhantom[ch]), expected[ch]) << ch;
  }
}

}  // namespace
