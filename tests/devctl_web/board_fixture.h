// A simulated board, a fake clock, a private unit root and a fresh configuration for each test,
// with the hardware writes decoded in order.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "devctl/core/config_defaults.h"
#include "devctl/core/globals.h"
#include "devctl/hardware/dsp_channels.h"
#include "devctl/hardware/io_expander.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/sim_i2c.h"
#include "platform/sim_sysfs.h"
#include "platform/storage.h"
#include "sim/board/board.h"

namespace webtest {

class BoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/devctl_web_board_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    platform::SetRoot(root_);
    platform::SetClock(&clock_);
    platform::sim_i2c().ClearFaults();
    platform::sim_sysfs().Reset();
    board_ = std::make_unique<sim::Board>();
    g_ioexp_shadow_18 = 0;
    platform::sim_i2c().ClearTransfers();
    ResetAppConfig("/oem/app.json", &g_app_config, "02:00:00:00:00:01");
    g_app_config.power = 1;
    g_config_path = "/oem/app.json";
    syncs_before_ = platform::SyncCount();
  }

  void TearDown() override {
    board_.reset();
    g_app_config = app_config_s();
    platform::SetClock(nullptr);
    platform::SetRoot("");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  long Saves() const { return platform::SyncCount() - syncs_before_; }

  // The hardware writes in order: "mute 2", "unmute 2", "gain 2", "range 18=xx" and "wait".
  std::vector<std::string> HardwareLog() {
    std::vector<std::string> log;
    int64_t last_time = -1;
    for (const auto& t : platform::sim_i2c().Transfers()) {
      if (t.read || t.bytes.size() < 2) continue;
      if (last_time >= 0 && t.time_us - last_time >= 10000) log.push_back("wait");
      last_time = t.time_us;
      if (t.bus == sim::Board::kExpanderBus) {
        char text[32];
        snprintf(text, sizeof text, "range %02x=%02x", t.addr7, t.bytes.size() > 1 ? t.bytes[1] : 0);
        if (t.addr7 == 0x18 && t.bytes[0] == 1) log.push_back(text);
        continue;
      }
      unsigned address = (unsigned(t.bytes[0]) << 8) | t.bytes[1];
      if (t.bus != sim::Board::kDspBus || address != sim::SimDsp::kSafeloadTarget ||
          t.bytes.size() < 6)
        continue;
      uint32_t target = (uint32_t(t.bytes[2]) << 24) | (uint32_t(t.bytes[3]) << 16) |
                        (uint32_t(t.bytes[4]) << 8) | t.bytes[5];
      for (int c = 0; c < kDspChannels; ++c) {
        uint8_t dsp = (c >= 4 && c < 12) ? sim::Board::kDspB : sim::Board::kDspA;
        if (t.addr7 != dsp) continue;
        if (target == g_dsp_input_gain_addr[c]) log.push_back("gain " + std::to_string(c));
        if (target == g_dsp_input_mute_addr[c]) log.push_back("mute/unmute " + std::to_string(c));
      }
    }
    return log;
  }

  // The DSP's own view of input c.
  bool DspMuted(int c) {
    sim::SimDsp& dsp = (c >= 4 && c < 12) ? board_->dsp_b() : board_->dsp_a();
    return dsp.Word(uint16_t(g_dsp_input_mute_addr[c])) == 0;
  }
  uint32_t DspGainWord(int c) {
    sim::SimDsp& dsp = (c >= 4 && c < 12) ? board_->dsp_b() : board_->dsp_a();
    return dsp.Word(uint16_t(g_dsp_input_gain_addr[c]));
  }

  std::string root_;
  platform::FakeClock clock_;
  std::unique_ptr<sim::Board> board_;
  long syncs_before_ = 0;
};

}  // namespace webtest
