#include "tests/support/sim_unit.h"

#include <chrono>
#include <cstdio>

#include "devctl/core/app_config.h"
#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/core/notices.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/gpio.h"
#include "platform/paths.h"
#include "platform/storage.h"

namespace testsupport {

namespace {
constexpr char kTestMac[] = "02:00:00:00:00:01";
}  // namespace

void SimUnitFixture::SetUp() {
  UnitRootFixture::SetUp();
  ResetProcessState();
  platform::SetClock(&clock_);
  platform::sim_i2c().ClearFaults();
  platform::sim_i2c().SetTransferHook(nullptr);
  platform::sim_sysfs().Reset();
  board_ = std::make_unique<sim::Board>();
  if (options_.front_panel) panel_ = std::make_unique<sim::FrontPanel>(*board_);
  platform::sim_i2c().ClearTransfers();
  if (options_.factory_config) {
    ConfigLock lock;
    ResetAppConfig(kConfigFile, &g_unit.config, kTestMac);
    g_unit.config.power = 1;
    g_unit.config_path = kConfigFile;
  }
  if (options_.capture_notices) {
    auto capture = [this](const std::string& text) {
      std::lock_guard<std::mutex> lock(notices_mutex_);
      notices_ += text;
    };
    SetNoticeSink(capture);
    SetNetworkNoticeSink(capture);
  }
  syncs_before_ = platform::SyncCount();
}

void SimUnitFixture::TearDown() {
  ResetNoticeSinks();
  panel_.reset();
  board_.reset();
  platform::sim_i2c().ClearFaults();
  platform::sim_i2c().SetTransferHook(nullptr);
  platform::sim_sysfs().Reset();
  ResetProcessState();
  platform::SetClock(nullptr);
  UnitRootFixture::TearDown();
}

app_config_s SimUnitFixture::Saved(const std::string& mac) {
  app_config_s saved;
  std::string path;
  LoadAppConfigFile(path, "/oem/app.json", &saved, mac, "TRX");
  return saved;
}

long SimUnitFixture::Saves() const { return platform::SyncCount() - syncs_before_; }

std::string SimUnitFixture::notices() {
  std::lock_guard<std::mutex> lock(notices_mutex_);
  return notices_;
}

std::vector<std::vector<uint8_t>> SimUnitFixture::Writes(unsigned bus, unsigned addr7) {
  std::vector<std::vector<uint8_t>> out;
  for (const auto& t : platform::sim_i2c().Transfers(bus, addr7)) {
    if (!t.read) out.push_back(t.bytes);
  }
  return out;
}

std::vector<std::string> SimUnitFixture::HardwareLog() {
  std::vector<std::string> log;
  int64_t last_time = -1;
  for (const auto& t : platform::sim_i2c().Transfers()) {
    if (t.read || t.bytes.size() < 2) continue;
    if (last_time >= 0 && t.time_us - last_time >= 10000) log.push_back("wait");
    last_time = t.time_us;
    if (t.bus == sim::Board::kExpanderBus) {
      char text[32];
      std::snprintf(text, sizeof text, "range %02x=%02x", t.addr7, t.bytes[1]);
      if (t.addr7 == 0x18 && t.bytes[0] == 1) log.push_back(text);
      continue;
    }
    const unsigned address = (unsigned(t.bytes[0]) << 8) | t.bytes[1];
    if (t.bus != sim::Board::kDspBus || address != sim::SimDsp::kSafeloadTarget ||
        t.bytes.size() < 6) {
      continue;
    }
    const uint32_t target = (uint32_t(t.bytes[2]) << 24) | (uint32_t(t.bytes[3]) << 16) |
                            (uint32_t(t.bytes[4]) << 8) | t.bytes[5];
    for (int c = 0; c < kDspChannels; ++c) {
      const uint8_t dsp = (c >= 4 && c < 12) ? sim::Board::kDspB : sim::Board::kDspA;
      if (t.addr7 != dsp) continue;
      if (target == g_dsp_input_gain_addr[c]) log.push_back("gain " + std::to_string(c));
      if (target == g_dsp_input_mute_addr[c]) log.push_back("mute/unmute " + std::to_string(c));
    }
  }
  return log;
}

bool SimUnitFixture::DspMuted(int c) {
  sim::SimDsp& dsp = (c >= 4 && c < 12) ? board_->dsp_b() : board_->dsp_a();
  return dsp.Word(uint16_t(g_dsp_input_mute_addr[c])) == 0;
}

uint32_t SimUnitFixture::DspGainWord(int c) {
  sim::SimDsp& dsp = (c >= 4 && c < 12) ? board_->dsp_b() : board_->dsp_a();
  return dsp.Word(uint16_t(g_dsp_input_gain_addr[c]));
}

void SimUnitFixture::PauseInEveryTransfer() {
  // It spins rather than yields or sleeps: on a busy machine a yield or a sleep waits out other
  // programs' time slices, while a spin costs only its own few microseconds.
  platform::sim_i2c().SetTransferHook([] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(3);
    while (std::chrono::steady_clock::now() < until) {
    }
  });
}

}  // namespace testsupport
