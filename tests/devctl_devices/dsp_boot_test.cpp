#include <algorithm>
#include <atomic>
#include <thread>

#include "devctl/devices/dsp_boot.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/dsp_images.h"
#include "tests/support/sim_unit.h"

namespace {

using Writes16 = std::vector<sim::ControlWrite>;

// The boot's control writes of one DSP, from the register table of the sequence.
Writes16 ExpectedControlWrites(bool dsp_b) {
  Writes16 w = {{0xF890, 0},
                {0xF890, 1},
                {0xF400, 0},
                {0xF400, 1},
                {0xF403, 0},
                {0xF403, 1},
                {0xF003, 0},
                {0xF000, 0x60},
                {0xF001, 2},
                {0xF002, 1},
                {0xF005, uint16_t(dsp_b ? 5 : 7)},
                {0xF003, 1},
                {0xF050, 0x1FFF},
                {0xF051, 0x1F}};
  if (dsp_b) {
    const uint16_t in[8] = {1, 9, 0x11, 0x19, 2, 2, 2, 2};
    const uint16_t out[8] = {6, 6, 6, 6, 1, 1, 1, 1};
    for (int i = 0; i < 8; ++i) w.push_back({uint16_t(0xF100 + i), in[i]});
    for (int i = 0; i < 8; ++i) w.push_back({uint16_t(0xF140 + i), out[i]});
  } else {
    w.insert(w.end(), {{0xF100, 0x81}, {0xF107, 2}, {0xF140, 6}, {0xF147, 3}});
  }
  for (int i = 0; i < 24; ++i) {
    uint16_t v = 2;
    if (!dsp_b && i == 0x10) v = 0x3B;
    if (dsp_b && i < 4) v = uint16_t(0x23 + 8 * i);
    w.push_back({uint16_t(0xF180 + i), v});
  }
  const uint16_t ports_a[8] = {0x9040, 0x9040, 0x4840, 0x6C42, 0x9042, 0x2440, 0x4840, 0x9042};
  const uint16_t ports_b[8] = {0x0042, 0x2442, 0x9000, 0x9000, 0x0042, 0x9042, 0x9000, 0x9000};
  for (int i = 0; i < 8; ++i)
    w.push_back({uint16_t(0xF200 + 4 * i), (dsp_b ? ports_b : ports_a)[i]});
  w.insert(w.end(), {{0xF403, 0}, {0xF404, 0}, {0xF401, 2}, {0xF402, 0}, {0xF402, 1}, {0xF400, 0}});
  return w;
}

uint16_t Reg(const platform::I2cTransferRecord& t) {
  return uint16_t(t.bytes[0] << 8 | t.bytes[1]);
}

class DspBootTest : public testsupport::SimUnitFixture {
 protected:
  DspBootTest() : SimUnitFixture(Drivers()) {}
};

TEST_F(DspBootTest, ControlWritesOfBothDspsInOrder) {
  DspBootAll();
  Writes16 a = ExpectedControlWrites(false), b = ExpectedControlWrites(true);
  EXPECT_EQ(a.size(), 56u);
  EXPECT_EQ(b.size(), 68u);
  EXPECT_EQ(board().dsp_a().ControlWrites(), a);
  EXPECT_EQ(board().dsp_b().ControlWrites(), b);
  EXPECT_EQ(board().dsp_a().Control(0xF402), 1);
  EXPECT_EQ(board().dsp_b().Control(0xF400), 0);
}

TEST_F(DspBootTest, TransfersImagesAndPauses) {
  DspBootAll();
  auto all = bus().Transfers();
  EXPECT_EQ(all.size(), 3303u);
  // DSP A completely before DSP B.
  size_t last_a = 0, first_b = all.size();
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i].addr7 == 0x38) last_a = i;
    if (all[i].addr7 == 0x39 && first_b == all.size()) first_b = i;
  }
  EXPECT_EQ(last_a + 1, first_b);

  // Image chunks by destination: count and addresses.
  const struct {
    unsigned dsp;
    uint16_t base;
    size_t chunks;
    size_t last_len;
  } images[] = {{0x38, 0xC000, 229, 20}, {0x38, 0x0000, 1109, 36}, {0x38, 0x6000, 387, 24},
                {0x39, 0xC000, 71, 12},  {0x39, 0x0000, 858, 36},  {0x39, 0x6000, 525, 32}};
  for (const auto& img : images) {
    std::vector<platform::I2cTransferRecord> chunks;
    for (const auto& t : bus().Transfers(3, img.dsp)) {
      uint16_t r = Reg(t);
      uint16_t end = uint16_t(img.base + 15 * (img.chunks - 1));
      if (r >= img.base && r <= end && (r - img.base) % 15 == 0 && t.bytes.size() > 4) {
        chunks.push_back(t);
      }
    }
    ASSERT_EQ(chunks.size(), img.chunks) << std::hex << img.dsp << " " << img.base;
    for (size_t k = 0; k < chunks.size(); ++k) {
      ASSERT_EQ(Reg(chunks[k]), img.base + 15 * k);
    }
    EXPECT_EQ(chunks.back().bytes.size(), img.last_len + 2);
  }
  // Four 5 ms pauses per DSP plus 5 us after each of the 130 block writes.
  EXPECT_EQ(clock_.SleptUs(), 8 * 5000 + 130 * 5);
}

TEST_F(DspBootTest, LoadedImagesLeaveNoSafeloadBehind) {
  DspBootAll();
  EXPECT_TRUE(board().dsp_a().Safeloads().empty());
  EXPECT_TRUE(board().dsp_b().Safeloads().empty());
  EXPECT_EQ(board().dsp_a().Word(0x6006), 0u);
  EXPECT_EQ(board().dsp_a().BadCounts() + board().dsp_b().BadCounts(), 0u);
  // Memory holds the images.
  EXPECT_EQ(board().dsp_b().Word(0xC000),
            uint32_t(g_dsp_b_program[0]) << 24 | uint32_t(g_dsp_b_program[1]) << 16 |
                uint32_t(g_dsp_b_program[2]) << 8 | g_dsp_b_program[3]);
}

TEST_F(DspBootTest, MissingDspAStillBootsDspB) {
  board().dsp_a().SetPresent(false);
  testing::internal::CaptureStdout();
  DspBootAll();
  std::string printed = testing::internal::GetCapturedStdout();
  size_t lines = std::count(printed.begin(), printed.end(), '\n');
  EXPECT_EQ(lines, 56u + 229 + 1109 + 387);
  EXPECT_EQ(printed.substr(0, 17), "i2c write error!\n");
  EXPECT_EQ(board().dsp_b().ControlWrites(), ExpectedControlWrites(true));
}

}  // namespace
