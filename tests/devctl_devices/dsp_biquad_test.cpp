#include <cmath>
#include <complex>
#include <limits>

#include "devctl/devices/dsp_biquad.h"
#include "tests/support/sim_unit.h"

namespace {

using Words = std::vector<uint32_t>;
const Words kPassThrough = {0, 0, 0x01000000, 0, 0};

class DspBiquadTest : public testsupport::SimUnitFixture {
 protected:
  DspBiquadTest() : SimUnitFixture(Drivers()) {}
  // Writes one band of input channel 0 and returns the five words DSP A received.
  Words Band(int freq, int type, int enable, float gain, float q) {
    board().dsp_a().ClearJournal();
    DspSetBiquad(0, 0, 0, freq, type, enable, gain, q);
    auto events = board().dsp_a().Safeloads();
    EXPECT_EQ(events.size(), 1u);
    return events.empty() ? Words{} : events[0].words;
  }
};

// The cookbook section, written out here on its own: (b0, b1, b2, a0, a1, a2).
std::vector<double> Cookbook(int freq, int type, float gain, float q) {
  const double pi = std::acos(-1.0);
  double w0 = 2 * pi * double(float(freq) / 48000.0f);
  double A = std::pow(10.0, double(gain / 40.0f));
  double S = 1.0;
  double alpha = type >= 3 ? std::sin(w0) / 2 * std::sqrt((A + 1 / A) * (1 / S - 1) + 2)
                           : std::sin(w0) / double(2.0f * q);
  double c = std::cos(w0);
  double r = 2 * std::sqrt(A) * alpha;
  switch (type) {
    case 0:
      return {1 + alpha * A, -2 * c, 1 - alpha * A, 1 + alpha / A, -2 * c, 1 - alpha / A};
    case 1:
      return {(1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha};
    case 2:
      return {(1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha};
    case 3:
      return {A * ((A + 1) - (A - 1) * c + r), 2 * A * ((A - 1) - (A + 1) * c),
              A * ((A + 1) - (A - 1) * c - r), (A + 1) + (A - 1) * c + r,
              -2 * ((A - 1) + (A + 1) * c),    (A + 1) + (A - 1) * c - r};
    default:
      return {A * ((A + 1) + (A - 1) * c + r), -2 * A * ((A - 1) + (A + 1) * c),
              A * ((A + 1) + (A - 1) * c - r), (A + 1) - (A - 1) * c + r,
              2 * ((A - 1) - (A + 1) * c),     (A + 1) - (A - 1) * c - r};
  }
}

int64_t Truncated824(double v) { return int64_t(std::trunc(v * 16777216.0)); }

// |H| in dB of the section the five words describe, at angular frequency w.
double ResponseDb(const Words& w, double omega) {
  auto v = [&](int i) { return double(int32_t(w[i])) / 16777216.0; };
  std::complex<double> z1 = std::polar(1.0, -omega), z2 = z1 * z1;
  std::complex<double> num = v(2) + v(1) * z1 + v(0) * z2;
  std::complex<double> den = 1.0 - v(4) * z1 - v(3) * z2;
  return 20 * std::log10(std::abs(num / den));
}

TEST_F(DspBiquadTest, WhenABandIsDesignedOrPassedThrough) {
  const struct {
    const char* what;
    int type, enable;
    float gain;
    bool designed;
  } cases[] = {
      {"disabled peaking", 0, 0, 6.0f, false},   {"disabled low-pass", 1, 0, 0.0f, false},
      {"peaking 0 dB", 0, 1, 0.0f, false},       {"peaking 0.1 dB", 0, 1, 0.1f, true},
      {"low-pass 0 dB", 1, 1, 0.0f, true},       {"high-pass 0 dB", 2, 1, 0.0f, true},
      {"low shelf 0 dB", 3, 1, 0.0f, false},     {"high shelf -0.1 dB", 4, 1, -0.1f, true},
      {"unknown type 0 dB", -1, 1, 0.0f, false}, {"unknown type 3 dB", -1, 1, 3.0f, false},
      {"type 5 3 dB", 5, 1, 3.0f, false},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    Words w = Band(1000, c.type, c.enable, c.gain, 1.0f);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(w != kPassThrough, c.designed) << c.what;
  }
}

TEST_F(DspBiquadTest, UnknownStoredTypeIsReportedAndKeepsTheChannelAudible) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(Band(1000, -1, 1, 3.0f, 1.0f), kPassThrough);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "EQ band 0 of channel 1 has an unknown type, passed through\n");
}

TEST_F(DspBiquadTest, NonFiniteDesignsArePassedThrough) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(Band(1000, 0, 1, nan, 1.0f), kPassThrough);
  EXPECT_EQ(Band(1000, 3, 1, inf, 1.0f), kPassThrough);
  EXPECT_EQ(Band(1000, 0, 1, 6.0f, 0.0f), kPassThrough);
  EXPECT_EQ(Band(1000, 1, 1, 0.0f, nan), kPassThrough);
}

TEST_F(DspBiquadTest, GoldenSections) {
  const struct {
    const char* what;
    int freq, type;
    float gain, q;
    Words words;
  } cases[] = {
      // b2 = b0 = -b1 / 2 (feedback words: see the cookbook comparison)
      {"high-pass 1 kHz Q 0.7071", 1000, 2, 0.0f, 0.7071f, {0x00E95DB1, 0xFE2D449D, 0x00E95DB1}},
      {"peaking 1 kHz -3 dB Q 1.41",
       1000,
       0,
       -3.0f,
       1.41f,
       {0x00E93397, 0xFE1ED94A, 0x00FC19FD, 0xFF1AB26C, 0x01E126B6}},
      {"low shelf 200 Hz +6 dB",
       200,
       3,
       6.0f,
       0.7f,
       {0x00F68F09, 0xFE080906, 0x0101A66A, 0xFF07DA21, 0x01F8068F}},
  };
  for (const auto& c : cases) {
    Words w = Band(c.freq, c.type, 1, c.gain, c.q);
    ASSERT_EQ(w.size(), 5u);
    w.resize(c.words.size());
    EXPECT_EQ(w, c.words) << c.what;
  }
}

TEST_F(DspBiquadTest, WordsMatchTheCookbookWithinOneLsb) {
  for (int type = 0; type <= 4; ++type) {
    for (int freq : {20, 100, 1000, 4000, 12000, 20000}) {
      for (float gain : {-15.0f, -3.0f, 0.5f, 12.0f}) {
        for (float q : {0.3f, 0.7071f, 4.0f}) {
          Words w = Band(freq, type, 1, gain, q);
          ASSERT_EQ(w.size(), 5u);
          auto k = Cookbook(freq, type, gain, q);
          double expected[5] = {k[2] / k[3], k[1] / k[3], k[0] / k[3], -k[5] / k[3], -k[4] / k[3]};
          for (int i = 0; i < 5; ++i) {
            EXPECT_LE(std::llabs(int64_t(int32_t(w[i])) - Truncated824(expected[i])), 1)
                << "type " << type << " " << freq << " Hz " << gain << " dB Q " << q << " word "
                << i;
          }
        }
      }
    }
  }
}

TEST_F(DspBiquadTest, SectionsHaveTheRequestedGainWhereItApplies) {
  // Peaking: the full gain at its centre; shelves: half the gain (in dB) at their mid-point.
  const double pi = std::acos(-1.0);
  for (int freq : {20, 50, 200, 1000, 5000, 15000, 20000}) {
    double w0 = 2 * pi * freq / 48000.0;
    for (float gain : {-15.0f, -6.0f, 3.0f, 15.0f}) {
      EXPECT_NEAR(ResponseDb(Band(freq, 0, 1, gain, 1.0f), w0), gain, 0.05)
          << "peaking " << freq << " Hz " << gain << " dB";
      // At 20 Hz a shelf's poles lie so close to 1 that 8.24 words hold it to about 0.1 dB.
      double tolerance = freq < 50 ? 0.1 : 0.05;
      EXPECT_NEAR(ResponseDb(Band(freq, 3, 1, gain, 1.0f), w0), gain / 2, tolerance)
          << "low shelf " << freq << " Hz " << gain << " dB";
      EXPECT_NEAR(ResponseDb(Band(freq, 4, 1, gain, 1.0f), w0), gain / 2, tolerance)
          << "high shelf " << freq << " Hz " << gain << " dB";
    }
  }
  // Far from the corner the 8.24 words of a very low corner cannot hold the plateau exactly;
  // from 200 Hz up they do.
  for (int freq : {200, 1000, 5000}) {
    double w0 = 2 * pi * freq / 48000.0;
    EXPECT_NEAR(ResponseDb(Band(freq, 1, 1, 0.0f, 0.7071f), 0.0), 0.0, 0.05) << "low-pass";
    EXPECT_NEAR(ResponseDb(Band(freq, 1, 1, 0.0f, 0.7071f), w0), -3.01, 0.05) << "low-pass";
    EXPECT_NEAR(ResponseDb(Band(freq, 2, 1, 0.0f, 0.7071f), pi), 0.0, 0.05) << "high-pass";
    EXPECT_NEAR(ResponseDb(Band(freq, 3, 1, 12.0f, 1.0f), 0.0), 12.0, 0.05) << "low shelf";
    EXPECT_NEAR(ResponseDb(Band(freq, 4, 1, 12.0f, 1.0f), pi), 12.0, 0.05) << "high shelf";
  }
}

TEST_F(DspBiquadTest, BandsLandAtTheirChannelsAddresses) {
  DspSetBiquad(0, 12, 3, 1000, 0, 0, 0.0f, 1.0f);
  DspSetBiquad(1, 4, 0, 1000, 0, 0, 0.0f, 1.0f);
  ASSERT_EQ(board().dsp_a().Safeloads().size(), 1u);
  EXPECT_EQ(board().dsp_a().Safeloads()[0].target, 0x14C);
  ASSERT_EQ(board().dsp_b().Safeloads().size(), 1u);
  EXPECT_EQ(board().dsp_b().Safeloads()[0].target, 0x8C);
}

}  // namespace
