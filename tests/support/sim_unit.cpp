#include "tests/support/sim_unit.h"

#include <chrono>
#include <cstdio>

#include "devctl/core/app_config.h"
#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/notices.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_access.h"
#include "devctl/devices/dsp_biquad.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/phantom_power.h"
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
  if (options_.system_lines) {
    LcdInit();
    InitFrontLeds();
    InitPowerGpios();
    InitPhantomPower();
  }
  platform::sim_i2c().ClearTransfers();
  if (options_.factory_config) {
    ConfigLock lock;
    ResetAppConfig(kConfigFile, &g_unit.config, kTestMac);
    g_unit.config.power = 1;
    g_unit.config_path = kConfigFile;
    // The system commands compare a network edit with the settings in use.
    if (options_.system_lines) g_unit.pending = g_unit.config;
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
  UnfreezeConfigSaves();
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

void SimUnitFixture::ClearNotices() {
  std::lock_guard<std::mutex> lock(notices_mutex_);
  notices_.clear();
}

int SimUnitFixture::Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
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

namespace {

bool OnDspB(int c) { return c >= 4 && c < 12; }

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t i) {
  return (uint32_t(bytes[i]) << 24) | (uint32_t(bytes[i + 1]) << 16) |
         (uint32_t(bytes[i + 2]) << 8) | bytes[i + 3];
}

std::string VolumePercent(uint32_t word) {
  for (int p = 0; p <= 100; ++p) {
    if (DspOutputVolumeWord(p) == word) return std::to_string(p);
  }
  return "?";
}

}  // namespace

std::vector<std::string> SimUnitFixture::DspLog() {
  std::vector<std::string> log;
  int64_t last_time = -1;
  uint32_t data[2] = {0, 0};  // last safeload data word per DSP
  for (const auto& t : platform::sim_i2c().Transfers()) {
    if (t.read || t.bytes.size() < 2) continue;
    if (last_time >= 0 && t.time_us - last_time >= 10000) log.push_back("wait");
    last_time = t.time_us;
    if (t.bus == sim::Board::kExpanderBus) {
      if (t.addr7 == 0x18 && t.bytes[0] == 1) log.push_back("range");
      continue;
    }
    if (t.bus != sim::Board::kDspBus || t.bytes.size() < 6) continue;
    const int dsp = t.addr7 == sim::Board::kDspB ? 1 : 0;
    const unsigned address = (unsigned(t.bytes[0]) << 8) | t.bytes[1];
    const uint32_t word = WordAt(t.bytes, 2);
    if (address == sim::SimDsp::kSafeloadData) {
      data[dsp] = word;
      continue;
    }
    if (address != sim::SimDsp::kSafeloadTarget) continue;
    bool known = false;
    for (int c = 0; c < kDspChannels && !known; ++c) {
      const std::string n = std::to_string(c);
      if (word == g_dsp_output_source_addr[c] && dsp == 0) {
        log.push_back("src " + n + "=" + std::to_string(data[dsp]));
        known = true;
      }
      if (OnDspB(c) != (dsp == 1)) continue;
      if (word == g_dsp_output_volume_addr[c]) {
        log.push_back("vol " + n + "=" + VolumePercent(data[dsp]));
        known = true;
      } else if (word == g_dsp_output_mute_addr[c]) {
        log.push_back((data[dsp] == 0 ? "mute " : "unmute ") + n);
        known = true;
      } else if (word == g_dsp_output_delay_addr[c]) {
        log.push_back("delay " + n + "=" + std::to_string(data[dsp]));
        known = true;
      } else if (word == g_dsp_input_gain_addr[c]) {
        log.push_back("gain " + n);
        known = true;
      } else if (word == g_dsp_input_mute_addr[c]) {
        log.push_back((data[dsp] == 0 ? "inmute " : "inunmute ") + n);
        known = true;
      }
    }
    if (!known) log.push_back("eq");
  }
  return log;
}

std::string Biquad::Where() const {
  return (side ? "out " : "in ") + std::to_string(channel) + " band " + std::to_string(band);
}

std::vector<Biquad> SimUnitFixture::Biquads() {
  std::vector<Biquad> out;
  std::vector<uint32_t> data[2];
  for (const auto& t : platform::sim_i2c().Transfers()) {
    if (t.read || t.bus != sim::Board::kDspBus || t.bytes.size() < 6) continue;
    const int dsp = t.addr7 == sim::Board::kDspB ? 1 : 0;
    const unsigned address = (unsigned(t.bytes[0]) << 8) | t.bytes[1];
    if (address == sim::SimDsp::kSafeloadData && t.bytes.size() == 22) {
      data[dsp].clear();
      for (size_t i = 2; i < 22; i += 4) data[dsp].push_back(WordAt(t.bytes, i));
      continue;
    }
    if (address != sim::SimDsp::kSafeloadTarget) continue;
    const uint32_t target = WordAt(t.bytes, 2);
    for (int side = 0; side < 2; ++side) {
      for (int c = 0; c < kDspChannels; ++c) {
        if (OnDspB(c) != (dsp == 1)) continue;
        const uint32_t base = g_dsp_biquad_addr[side][c];
        if (target >= base && target < base + 5 * kEqBands && (target - base) % 5 == 0) {
          out.push_back({side, c, int((target - base) / 5), data[dsp]});
        }
      }
    }
  }
  return out;
}

sim::SimDsp& SimUnitFixture::DspOf(int c) { return OnDspB(c) ? board_->dsp_b() : board_->dsp_a(); }

bool SimUnitFixture::DspMuted(int c) { return DspWord(g_dsp_input_mute_addr[c], c) == 0; }

uint32_t SimUnitFixture::DspGainWord(int c) { return DspWord(g_dsp_input_gain_addr[c], c); }

uint32_t SimUnitFixture::VolumeCell(int c) { return DspWord(g_dsp_output_volume_addr[c], c); }

bool SimUnitFixture::OutputMutedCell(int c) { return DspWord(g_dsp_output_mute_addr[c], c) == 0; }

uint32_t SimUnitFixture::DelayCell(int c) { return DspWord(g_dsp_output_delay_addr[c], c); }

uint32_t SimUnitFixture::SourceCell(int c) {
  return board_->dsp_a().Word(uint16_t(g_dsp_output_source_addr[c]));
}

peq_data_s& SimUnitFixture::Mem(int side, int m, int s) {
  return g_unit.config.EqMemory(side, m)[s];
}

void SimUnitFixture::Unlock(int side) {
  int* flags = side == EQ_SIDE_OUTPUT ? g_unit.config.output_stereo : g_unit.config.input_stereo;
  for (int s = 0; s < kChannelSlots; ++s) flags[s] = 0;
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
