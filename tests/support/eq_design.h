// What the equaliser should put in the DSPs: the five words a band should give, computed here
// from the cookbook formulas on their own, compared with the biquads SimUnitFixture::Biquads
// decodes from the bus or reads back from the DSP cells.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "devctl/core/app_config.h"
#include "devctl/devices/dsp_access.h"
#include "sim/board/board.h"
#include "tests/support/sim_unit.h"

namespace eqtest {

using testsupport::Biquad;

inline bool OnDspB(int channel) {
  return channel >= kFirstTarvoChannel && channel < kFirstUsbChannel;
}

// The section a band should give: pass-through when off, for 0 dB on a type other than the two
// passes, and for an unknown type; otherwise the cookbook section at 48 kHz (shelf slope 1) as
// (b2, b1, b0, -a2, -a1) / a0 in signed 8.24.
inline std::vector<double> ExpectedCoefficients(int freq, int type, int enable, float gain,
                                                float q) {
  const std::vector<double> pass = {0, 0, 1, 0, 0};
  if (!enable || type < 0 || type > 4 || (gain == 0.0f && type != 1 && type != 2)) return pass;
  const double pi = std::acos(-1.0);
  const double w0 = 2 * pi * double(float(freq) / 48000.0f);
  const double A = std::pow(10.0, double(gain / 40.0f));
  const double alpha =
      type >= 3 ? std::sin(w0) / 2 * std::sqrt(2.0) : std::sin(w0) / double(2.0f * q);
  const double c = std::cos(w0), r = 2 * std::sqrt(A) * alpha;
  double b0, b1, b2, a0, a1, a2;
  switch (type) {
    case 0:
      b0 = 1 + alpha * A, b1 = -2 * c, b2 = 1 - alpha * A;
      a0 = 1 + alpha / A, a1 = -2 * c, a2 = 1 - alpha / A;
      break;
    case 1:
      b0 = (1 - c) / 2, b1 = 1 - c, b2 = (1 - c) / 2, a0 = 1 + alpha, a1 = -2 * c, a2 = 1 - alpha;
      break;
    case 2:
      b0 = (1 + c) / 2, b1 = -(1 + c), b2 = (1 + c) / 2, a0 = 1 + alpha, a1 = -2 * c,
      a2 = 1 - alpha;
      break;
    case 3:
      b0 = A * ((A + 1) - (A - 1) * c + r), b1 = 2 * A * ((A - 1) - (A + 1) * c),
      b2 = A * ((A + 1) - (A - 1) * c - r), a0 = (A + 1) + (A - 1) * c + r,
      a1 = -2 * ((A - 1) + (A + 1) * c), a2 = (A + 1) + (A - 1) * c - r;
      break;
    default:
      b0 = A * ((A + 1) + (A - 1) * c + r), b1 = -2 * A * ((A - 1) + (A + 1) * c),
      b2 = A * ((A + 1) + (A - 1) * c - r), a0 = (A + 1) - (A - 1) * c + r,
      a1 = 2 * ((A - 1) - (A + 1) * c), a2 = (A + 1) - (A - 1) * c - r;
      break;
  }
  return {b2 / a0, b1 / a0, b0 / a0, -a2 / a0, -a1 / a0};
}

// The five words of a band match the independent design within one least significant bit.
inline ::testing::AssertionResult WordsAre(const Biquad& q, int freq, int type, int enable,
                                           float gain, float quality) {
  const auto expected = ExpectedCoefficients(freq, type, enable, gain, quality);
  if (q.words.size() != 5) return ::testing::AssertionFailure() << q.Where() << ": no words";
  for (int i = 0; i < 5; ++i) {
    const int64_t want = int64_t(std::trunc(expected[i] * 16777216.0));
    const int64_t got = int32_t(q.words[i]);
    if (std::llabs(got - want) > 1) {
      return ::testing::AssertionFailure()
             << q.Where() << " word " << i << ": " << got << " expected " << want;
    }
  }
  return ::testing::AssertionSuccess();
}

// The same against a stored band.
inline ::testing::AssertionResult WordsAre(const Biquad& q, const peq_data_s& bands, int b) {
  return WordsAre(q, bands.frequency[b], ParseEqTypeName(bands.type_name[b]), bands.bypass[b],
                  bands.gain[b], bands.quality[b]);
}

// The eight biquads of a whole-memory load of channel c, in order.
inline std::vector<std::string> LoadOf(int side, int c) {
  std::vector<std::string> out;
  for (int b = 0; b < kEqBands; ++b) out.push_back(Biquad{side, c, b, {}}.Where());
  return out;
}

// The DSP cells of channel c hold, band for band, the memory the record (the live one unless
// given, e.g. as loaded back from app.json) says the channel plays.
inline ::testing::AssertionResult PlaysRecord(sim::Board& board, int side, int c,
                                              const app_config_s& record = g_unit.config) {
  const int m = side == EQ_SIDE_OUTPUT ? record.output_preset[c] : record.input_preset[c];
  const peq_data_s& bands = const_cast<app_config_s&>(record).EqMemory(side, m)[c];
  sim::SimDsp& dsp = OnDspB(c) ? board.dsp_b() : board.dsp_a();
  for (int b = 0; b < kEqBands; ++b) {
    Biquad q{side, c, b, {}};
    for (int w = 0; w < 5; ++w) {
      q.words.push_back(dsp.Word(uint16_t(g_dsp_biquad_addr[side][c] + 5 * b + w)));
    }
    ::testing::AssertionResult result = WordsAre(q, bands, b);
    if (!result) return result << " (memory " << m << ")";
  }
  return ::testing::AssertionSuccess();
}

// "in 3 band 1" for each biquad, to compare orders.
inline std::vector<std::string> Order(const std::vector<Biquad>& qs) {
  std::vector<std::string> out;
  for (const auto& q : qs) out.push_back(q.Where());
  return out;
}

}  // namespace eqtest
