#include <fstream>
#include <memory>
#include <sstream>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/io_expander.h"
#include "devctl/hardware/apply_config.h"
#include "tests/support/sim_unit.h"

namespace {

// One hardware write as it showed on the buses: a safeload (DSP, cell, words) or an expander
// output byte.
struct HardwareWrite {
  char kind;  // 'S' safeload, 'E' expander
  unsigned device;
  uint16_t cell;
  std::vector<uint32_t> words;
  bool operator==(const HardwareWrite& o) const {
    return kind == o.kind && device == o.device && cell == o.cell && words == o.words;
  }
};

std::ostream& operator<<(std::ostream& os, const HardwareWrite& w) {
  os << w.kind << " " << std::hex << w.device << " " << w.cell << " [";
  for (auto v : w.words) os << " " << v;
  return os << " ]";
}

class ApplyConfigTest : public testsupport::SimUnitFixture {
 protected:
  ApplyConfigTest() : SimUnitFixture(Drivers()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    GpioCloseAll();
    for (int line : kGpioPhantom) {
      GpioOpen(line);
      GpioSetOut(line);
    }
    for (unsigned c = 0; c < 4; ++c) SetAnalogGainRange(c, -30);  // range code 0 everywhere
    bus().ClearTransfers();
    fs().ClearHistory();
    cfg_ = std::make_unique<app_config_s>();
    ResetAppConfig("", cfg_.get(), "");
  }
  void TearDown() override {
    GpioCloseAll();
    SimUnitFixture::TearDown();
  }

  // Decodes the bus journal into safeloads and expander writes, in bus order.
  std::vector<HardwareWrite> BusWrites() {
    std::vector<HardwareWrite> out;
    std::vector<uint32_t> data;
    uint16_t target = 0;
    for (const auto& t : bus().Transfers()) {
      if (t.read) continue;
      if (t.bus == 4) {
        if (t.bytes.at(0) == 1) out.push_back({'E', t.addr7, 0, {t.bytes.at(1)}});
        continue;
      }
      uint16_t reg = uint16_t(t.bytes.at(0) << 8 | t.bytes.at(1));
      std::vector<uint32_t> words;
      for (size_t i = 2; i + 4 <= t.bytes.size(); i += 4) {
        words.push_back(uint32_t(t.bytes[i]) << 24 | uint32_t(t.bytes[i + 1]) << 16 |
                        uint32_t(t.bytes[i + 2]) << 8 | t.bytes[i + 3]);
      }
      if (reg == 0x6000) data = words;
      if (reg == 0x6005) target = uint16_t(words.at(0));
      if (reg == 0x6006) {
        EXPECT_EQ(words.at(0), data.size());
        out.push_back({'S', t.addr7, target, data});
      }
    }
    return out;
  }

  std::unique_ptr<app_config_s> cfg_;
};

const std::vector<uint32_t> kFlat = {0, 0, 0x01000000, 0, 0};

// The writes of the default configuration, in the order of the apply.
std::vector<HardwareWrite> DefaultWrites() {
  const unsigned A = 0x38;
  const uint16_t gain[14] = {0x10E, 0x111, 0x114, 0x117, 0x1CD, 0x1D0, 0x1D3,
                             0x1D6, 0x1D9, 0x1DC, 0x1DF, 0x1E2, 0xD4,  0xD7};
  const uint16_t in_mute[14] = {0x133, 0x136, 0x139, 0x13C, 0x1E6, 0x1E9,  0x1EC,
                                0x1EF, 0x1F2, 0x1F5, 0x1F8, 0x1FB, 0x40EF, 0x40F0};
  const uint16_t vol[14] = {0x1B20, 0x1B23, 0x1B26, 0x1B29, 0x3230, 0x3231, 0x3232,
                            0x3233, 0x322C, 0x322D, 0x322E, 0x322F, 0x1B2C, 0x1B2F};
  const uint16_t out_mute[14] = {0x1B33, 0x1B36, 0x1B39, 0x1B3C, 0x3238, 0x3239, 0x323A,
                                 0x323B, 0x3234, 0x3235, 0x3236, 0x3237, 0x1B3F, 0x1B42};
  const uint16_t delay[14] = {0x1B43, 0x1B44, 0x1B45, 0x1B46, 0x200, 0x201,  0x202,
                              0x203,  0x1FC,  0x1FD,  0x1FE,  0x1FF, 0x1B47, 0x1B47};
  const uint16_t source[14] = {0x1B49, 0x1B4A, 0x1B4B, 0x40E4, 0x40E7, 0x40E8, 0x40E9,
                               0x40EA, 0x40EB, 0x40EC, 0x40ED, 0x40EE, 0x40E5, 0x40E6};
  const uint32_t codes[14] = {1, 2, 3, 4, 7, 8, 9, 10, 11, 12, 13, 14, 5, 6};
  const uint16_t eq_in[14] = {0x18D, 0x1B5, 0x1DD, 0x205, 0x204, 0x22C, 0x254,
                              0x27C, 0x2A4, 0x2CC, 0x2F4, 0x31C, 0x13D, 0x165};
  const uint16_t eq_out[14] = {0x1A2F, 0x1A57, 0x1A7F, 0x1AA7, 0x8C,  0xB4,   0xDC,
                               0x104,  0x12C,  0x154,  0x17C,  0x1A4, 0x1ACF, 0x1AF7};
  auto dsp = [](int c) { return c >= 4 && c < 12 ? 0x39u : 0x38u; };
  std::vector<HardwareWrite> w;
  const uint32_t ranges[4] = {0x01, 0x05, 0x15, 0x55};
  for (int c = 0; c < 14; ++c) {
    if (c < 4) w.push_back({'E', 0x18, 0, {ranges[c]}});
    w.push_back({'S', dsp(c), gain[c], {c < 4 ? 0x02D1818Bu : 0x01000000u}});
    w.push_back({'S', dsp(c), in_mute[c], {0x01000000}});
    w.push_back({'S', dsp(c), vol[c], {0x00800000}});
    w.push_back({'S', dsp(c), out_mute[c], {0x01000000}});
  }
  for (int c = 0; c < 14; ++c) w.push_back({'S', dsp(c), delay[c], {0}});
  for (int c = 0; c < 14; ++c) {
    for (int b = 0; b < 8; ++b) w.push_back({'S', dsp(c), uint16_t(eq_in[c] + 5 * b), kFlat});
  }
  for (int c = 0; c < 14; ++c) {
    for (int b = 0; b < 8; ++b) w.push_back({'S', dsp(c), uint16_t(eq_out[c] + 5 * b), kFlat});
  }
  for (int c = 0; c < 14; ++c) w.push_back({'S', A, source[c], {codes[c]}});
  return w;
}

TEST_F(ApplyConfigTest, DefaultConfigurationReachesEveryCellInOrder) {
  ApplyConfigToHardware(*cfg_);
  std::vector<HardwareWrite> expected = DefaultWrites();
  std::vector<HardwareWrite> seen = BusWrites();
  ASSERT_EQ(seen.size(), expected.size());
  for (size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], expected[i]) << "write " << i;

  // And the DSPs hold the words.
  for (const HardwareWrite& w : expected) {
    if (w.kind != 'S') continue;
    sim::SimDsp* d = board().dsp(uint8_t(w.device));
    for (size_t k = 0; k < w.words.size(); ++k) {
      if (w.cell == 0x1B47) continue;  // shared by both USB outputs
      EXPECT_EQ(d->Word(uint16_t(w.cell + k)), w.words[k]) << std::hex << w.cell;
    }
  }
  EXPECT_EQ(board().dsp_a().Interleavings() + board().dsp_b().Interleavings(), 0u);
  // Phantom lines first, all off.
  auto gpio = fs().History();
  ASSERT_EQ(gpio.size(), 4u);
  EXPECT_EQ(gpio[0].gpio, 53);
  EXPECT_EQ(gpio[3].gpio, 50);
  for (const auto& e : gpio) EXPECT_EQ(e.level, 0);
  EXPECT_EQ(board().expander(0x18)->Output(), 0x55);
}

TEST_F(ApplyConfigTest, OutOfRangeEqSelectionSkipsThatChannel) {
  cfg_->input_preset[2] = 3;
  cfg_->output_preset[5] = -1;
  cfg_->analogue_output_delay[1] = 50;
  ApplyConfigToHardware(*cfg_);
  size_t input_bands_ch2 = 0, output_bands_ch5 = 0, bands = 0;
  uint32_t delay_word = 0xFFFFFFFF;
  for (const HardwareWrite& w : BusWrites()) {
    if (w.words.size() == 5) ++bands;
    if (w.device == 0x38 && w.cell >= 0x1DD && w.cell < 0x1DD + 40 && w.words.size() == 5) {
      ++input_bands_ch2;
    }
    if (w.device == 0x39 && w.cell >= 0xB4 && w.cell < 0xB4 + 40) ++output_bands_ch5;
    if (w.device == 0x38 && w.cell == 0x1B44) delay_word = w.words.at(0);
  }
  EXPECT_EQ(input_bands_ch2, 0u);
  EXPECT_EQ(output_bands_ch5, 0u);
  EXPECT_EQ(bands, 224u - 16);
  EXPECT_EQ(delay_word, 2400u);
}

TEST_F(ApplyConfigTest, DamagedStoredValuesAreHeldToTheirRanges) {
  const struct {
    const char* what;
    std::function<void(app_config_s&)> damage;
    unsigned dsp;
    uint16_t cell;
    uint32_t word;
  } cases[] = {
      {"gain 99 on analogue 1", [](app_config_s& c) { c.analogue_input_gain[0] = 99; }, 0x38, 0x10E,
       0x0345FDFF},
      {"gain -99 on analogue 2", [](app_config_s& c) { c.analogue_input_gain[1] = -99; }, 0x38,
       0x111, 0x00361AF6},
      {"input mute 256", [](app_config_s& c) { c.analogue_input_mute[0] = 256; }, 0x38, 0x133, 0},
      {"output mute 256", [](app_config_s& c) { c.tarvo_output_mute[0] = 256; }, 0x39, 0x3238, 0},
      {"volume 150", [](app_config_s& c) { c.usb_output_vol[0] = 150; }, 0x38, 0x1B2C, 0x01000000},
      {"volume -5", [](app_config_s& c) { c.analogue_output_vol[3] = -5; }, 0x38, 0x1B29, 0},
      {"delay 2000 ms", [](app_config_s& c) { c.tarvo_output_delay[0] = 2000; }, 0x39, 0x200, 2400},
      {"delay -1 ms", [](app_config_s& c) { c.tarvo_output_delay[1] = -1; }, 0x39, 0x201, 0},
  };
  for (const auto& c : cases) {
    ResetAppConfig("", cfg_.get(), "");
    c.damage(*cfg_);
    ApplyConfigToHardware(*cfg_);
    EXPECT_EQ(board().dsp(uint8_t(c.dsp))->Word(c.cell), c.word) << c.what;
  }
}

TEST_F(ApplyConfigTest, UnknownStoredTypeNameLeavesTheBandPassing) {
  cfg_->input_preset[0] = 1;
  SetNameField(cfg_->input_custom1_date[0].type_name[2], "parametric");
  cfg_->input_custom1_date[0].gain[2] = 6.0f;
  cfg_->input_custom1_date[0].bypass[2] = 1;
  testing::internal::CaptureStdout();
  ApplyConfigToHardware(*cfg_);
  EXPECT_NE(testing::internal::GetCapturedStdout(), "");
  for (int k = 0; k < 5; ++k) EXPECT_EQ(board().dsp_a().Word(uint16_t(0x18D + 10 + k)), kFlat[k]);
}

TEST_F(ApplyConfigTest, LiveRecordIsReadNotChanged) {
  {
    ConfigLock lock;
    ResetAppConfig("", &g_unit.config, "");
    g_unit.config.analogue_input_gain[2] = 77;
    g_unit.config.usb_output_delay[1] = 900;
  }
  ASSERT_TRUE(platform::MakeParentDirs(platform::Path("/oem/before.json")));
  ASSERT_TRUE(SaveAppConfig("/oem/before.json", &g_unit.config));
  ApplyConfigToHardware();
  ASSERT_TRUE(SaveAppConfig("/oem/after.json", &g_unit.config));
  auto read = [this](const char* f) {
    std::ifstream in(root_ + f);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  EXPECT_FALSE(read("/oem/before.json").empty());
  EXPECT_EQ(read("/oem/before.json"), read("/oem/after.json"));
  EXPECT_EQ(board().dsp_a().Word(0x114), 0x0345FDFFu);
}

TEST_F(ApplyConfigTest, ACommandDuringTheWritesIsWhatTheBoardEndsWith) {
  {
    ConfigLock lock;
    ResetAppConfig("", &g_unit.config, "");
  }
  bool changed = false;
  // A command lands after the first write (a phantom line) and before the channels are written.
  bus().SetTransferHook([&] {
    if (changed) return;
    changed = true;
    ConfigLock lock;
    g_unit.config.analogue_output_vol[3] = 25;
    g_unit.config.control[13] = 2;
  });
  ApplyConfigToHardware();
  bus().SetTransferHook(nullptr);
  ASSERT_TRUE(changed);
  EXPECT_EQ(board().dsp_a().Word(uint16_t(g_dsp_output_volume_addr[3])), DspOutputVolumeWord(25));
  EXPECT_EQ(board().dsp_a().Word(uint16_t(g_dsp_output_source_addr[13])), DspSourceCode(2));
}

}  // namespace

namespace {

TEST_F(ApplyConfigTest, PublishedStateShowsTheAppliedCells) {
  cfg_->analogue_input_mute[1] = 1;
  ApplyConfigToHardware(*cfg_);
  ASSERT_TRUE(board().Publish());
  auto read = [this](const char* f) {
    std::ifstream in(root_ + f);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  std::string a = read("/sim/dsp_a.txt"), b = read("/sim/dsp_b.txt");
  for (const char* line :
       {"cell 0x010E 0x02D1818B\n", "cell 0x0136 0x00000000\n", "cell 0x1B20 0x00800000\n",
        "cell 0x40E5 0x00000005\n", "interleavings 0\n"}) {
    EXPECT_NE(a.find(line), std::string::npos) << line;
  }
  EXPECT_NE(b.find("cell 0x01CD 0x01000000\n"), std::string::npos);
  EXPECT_NE(read("/sim/expanders.txt").find("expander 0x18 direction 0x00 output 0x55\n"),
            std::string::npos);
}

}  // namespace
