#include <cmath>
#include <limits>
#include <thread>

#include "devctl/devices/dsp_access.h"
#include "tests/support/sim_unit.h"

namespace {

using testsupport::Bytes;

class DspAccessTest : public testsupport::SimUnitFixture {
 protected:
  DspAccessTest() : SimUnitFixture(Drivers()) {}
};

Bytes Fixed(double v) {
  uint8_t buf[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  DoubleToFixed824(buf, 1, v);
  EXPECT_EQ(buf[0], 0xEE) << "word 0 untouched";
  return Bytes(buf + 4, buf + 8);
}

TEST(FixedPoint, DoubleTo824TruncatesTowardZeroAndSaturates) {
  const double tiny = std::ldexp(1.0, -25);
  struct {
    double v;
    Bytes expected;
  } cases[] = {
      {1.0, {0x01, 0x00, 0x00, 0x00}},
      {-1.0, {0xFF, 0x00, 0x00, 0x00}},
      {0.5, {0x00, 0x80, 0x00, 0x00}},
      {tiny, {0, 0, 0, 0}},
      {-tiny, {0, 0, 0, 0}},
      {std::ldexp(-3.0, -24) - tiny, {0xFF, 0xFF, 0xFF, 0xFD}},
      {std::nan(""), {0, 0, 0, 0}},
      {300.0, {0x7F, 0xFF, 0xFF, 0xFF}},
      {-300.0, {0x80, 0x00, 0x00, 0x00}},
      {std::numeric_limits<double>::infinity(), {0x7F, 0xFF, 0xFF, 0xFF}},
      {-std::numeric_limits<double>::infinity(), {0x80, 0x00, 0x00, 0x00}},
  };
  for (const auto& c : cases) EXPECT_EQ(Fixed(c.v), c.expected) << c.v;
}

TEST(FixedPoint, 824ToDoubleReadsUnsigned) {
  const uint8_t ff[4] = {0xFF, 0, 0, 0};
  const uint8_t one[4] = {0x01, 0, 0, 0};
  const uint8_t meter[4] = {0, 0, 0, 0x11};
  EXPECT_EQ(Fixed824ToDouble(ff), 255.0);
  EXPECT_EQ(Fixed824ToDouble(one), 1.0);
  EXPECT_EQ(Fixed824ToDouble(meter), 17.0 / 16777216.0);
}

TEST_F(DspAccessTest, BlockWriteCutsSixtyByteChunksFifteenWordsApart) {
  std::vector<uint8_t> image(13700);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7);
  DspBlockWrite(kDspAAddress8, 0xC000, int32_t(image.size()), image.data());
  auto writes = Writes(3, 0x38);
  ASSERT_EQ(writes.size(), 229u);
  for (size_t k = 0; k < writes.size(); ++k) {
    uint16_t reg = uint16_t(writes[k][0] << 8 | writes[k][1]);
    ASSERT_EQ(reg, 0xC000 + 15 * k) << k;
    ASSERT_EQ(writes[k].size(), k + 1 < writes.size() ? 62u : 22u) << k;
    ASSERT_TRUE(std::equal(writes[k].begin() + 2, writes[k].end(), image.begin() + 60 * k));
  }
  EXPECT_EQ(writes.back()[0], 0xCD);
  EXPECT_EQ(writes.back()[1], 0x5C);
  // The DSP holds the image word by word from 0xC000.
  EXPECT_EQ(board().dsp_a().Word(0xC001), uint32_t(image[4]) << 24 | uint32_t(image[5]) << 16 |
                                              uint32_t(image[6]) << 8 | image[7]);
}

TEST_F(DspAccessTest, EmptyBlockWriteOnlyPauses) {
  const uint8_t b = 0;
  DspBlockWrite(kDspAAddress8, 0x6000, 0, &b);
  DspBlockWrite(kDspAAddress8, 0x6000, -4, &b);
  EXPECT_EQ(bus().TransferCount(), 0u);
  EXPECT_EQ(clock_.SleptUs(), 10);
}

TEST_F(DspAccessTest, OneWordSafeloadIsDataTargetCountOnTheGivenDsp) {
  DspSafeloadWord(kDspBAddress8, 0x1CD, 0x00404DE6);
  EXPECT_EQ(Writes(3, 0x39), (std::vector<Bytes>{{0x60, 0x00, 0x00, 0x40, 0x4D, 0xE6},
                                                 {0x60, 0x05, 0x00, 0x00, 0x01, 0xCD},
                                                 {0x60, 0x06, 0x00, 0x00, 0x00, 0x01}}));
  EXPECT_EQ(board().dsp_b().Word(0x1CD), 0x00404DE6u);
  EXPECT_TRUE(Writes(3, 0x38).empty());
}

TEST_F(DspAccessTest, BiquadSafeloadTargetsTheBandOfTheChannel) {
  uint8_t coef[20];
  for (int i = 0; i < 20; ++i) coef[i] = uint8_t(i + 1);
  DspSafeloadBiquad(0, 5, 7, coef);
  auto w = Writes(3, 0x39);
  ASSERT_EQ(w.size(), 3u);
  Bytes first = {0x60, 0x00};
  first.insert(first.end(), coef, coef + 20);
  EXPECT_EQ(w[0], first);
  EXPECT_EQ(w[1], (Bytes{0x60, 0x05, 0x00, 0x00, 0x02, 0x4F}));
  EXPECT_EQ(w[2], (Bytes{0x60, 0x06, 0x00, 0x00, 0x00, 0x05}));
  auto events = board().dsp_b().Safeloads();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].target, 0x24F);
  EXPECT_EQ(events[0].words.size(), 5u);
}

TEST_F(DspAccessTest, BiquadSafeloadRefusesIndexesOutsideTheTables) {
  uint8_t coef[20] = {};
  struct {
    uint32_t dir, ch;
    uint8_t band;
  } bad[] = {{2, 0, 0}, {0, 14, 0}, {1, 0xFFFFFFFF, 0}, {0, 0, 8}};
  for (const auto& b : bad) {
    testing::internal::CaptureStdout();
    DspSafeloadBiquad(b.dir, b.ch, b.band, coef);
    EXPECT_NE(testing::internal::GetCapturedStdout(), "");
  }
  EXPECT_EQ(bus().TransferCount(), 0u);
}

TEST_F(DspAccessTest, ReadWordLeavesTheWordInBusOrder) {
  board().dsp_b().SetWord(0x88, 0x00000011);
  uint8_t w[4] = {};
  EXPECT_EQ(DspReadWord(kDspBAddress8, 0x88, w), 0);
  EXPECT_EQ(Bytes(w, w + 4), (Bytes{0, 0, 0, 0x11}));
}

}  // namespace
