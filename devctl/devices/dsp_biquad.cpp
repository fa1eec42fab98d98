#include "devctl/devices/dsp_biquad.h"

#include <cmath>
#include <cstdio>

#include "devctl/devices/dsp_access.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kSqrt2 = 1.4142135623730951;

void PassThrough(double c[5]) {
  c[0] = 0.0;
  c[1] = 0.0;
  c[2] = 1.0;
  c[3] = 0.0;
  c[4] = 0.0;
}

}  // namespace

bool DspDesignBiquad(int frequency, int type, int enable, float gain, float quality, double c[5]) {
  PassThrough(c);
  if (enable == 0) return false;
  if (gain == 0.0f && type != kEqLowPass && type != kEqHighPass) return false;
  if (type < kEqPeaking || type > kEqHighShelf) return false;

  // The precision steps are those of the unit: single-precision quotients, widened to double.
  const double w0 = static_cast<double>(static_cast<float>(frequency) / 48000.0f) * kTwoPi;
  const double cs = std::cos(w0);
  const double sn = std::sin(w0);
  const double A = std::pow(10.0, static_cast<double>(gain / 40.0f));
  const double alpha = (type == kEqLowShelf || type == kEqHighShelf)
                           ? (sn / 2.0) * kSqrt2
                           : sn / static_cast<double>(2.0f * quality);
  const double sqA2alpha = 2.0 * std::sqrt(A) * alpha;

  double b0, b1, b2, a0, a1, a2;
  switch (type) {
    case kEqPeaking:
      b0 = 1.0 + alpha * A;
      b1 = -2.0 * cs;
      b2 = 1.0 - alpha * A;
      a0 = 1.0 + alpha / A;
      a1 = -2.0 * cs;
      a2 = 1.0 - alpha / A;
      break;
    case kEqLowPass:
      b0 = (1.0 - cs) / 2.0;
      b1 = 1.0 - cs;
      b2 = (1.0 - cs) / 2.0;
      a0 = 1.0 + alpha;
      a1 = -2.0 * cs;
      a2 = 1.0 - alpha;
      break;
    case kEqHighPass:
      b0 = (1.0 + cs) / 2.0;
      b1 = -(1.0 + cs);
      b2 = (1.0 + cs) / 2.0;
      a0 = 1.0 + alpha;
      a1 = -2.0 * cs;
      a2 = 1.0 - alpha;
      break;
    case kEqLowShelf:
      b0 = A * ((A + 1.0) - (A - 1.0) * cs + sqA2alpha);
      b1 = 2.0 * A * ((A - 1.0) - (A + 1.0) * cs);
      b2 = A * ((A + 1.0) - (A - 1.0) * cs - sqA2alpha);
      a0 = (A + 1.0) + (A - 1.0) * cs + sqA2alpha;
      a1 = -2.0 * ((A - 1.0) + (A + 1.0) * cs);
      a2 = (A + 1.0) + (A - 1.0) * cs - sqA2alpha;
      break;
    default:  // kEqHighShelf
      b0 = A * ((A + 1.0) + (A - 1.0) * cs + sqA2alpha);
      b1 = -2.0 * A * ((A - 1.0) + (A + 1.0) * cs);
      b2 = A * ((A + 1.0) + (A - 1.0) * cs - sqA2alpha);
      a0 = (A + 1.0) - (A - 1.0) * cs + sqA2alpha;
      a1 = 2.0 * ((A - 1.0) - (A + 1.0) * cs);
      a2 = (A + 1.0) - (A - 1.0) * cs - sqA2alpha;
      break;
  }
  const double designed[5] = {b2 / a0, b1 / a0, b0 / a0, -a2 / a0, -a1 / a0};
  for (double v : designed) {
    if (!std::isfinite(v)) return false;
  }
  for (int i = 0; i < 5; ++i) c[i] = designed[i];
  return true;
}

void DspSetBiquad(uint32_t direction, uint32_t channel, uint8_t band, int frequency, int type,
                  int enable, float gain, float quality) {
  if (enable != 0 && gain != 0.0f && (type < kEqPeaking || type > kEqHighShelf)) {
    // A damaged stored type name: passing the band through keeps the channel audible.
    std::printf("EQ band %u of channel %u has an unknown type, passed through\n", unsigned(band),
                channel + 1);
    std::fflush(stdout);
  }
  double c[5];
  DspDesignBiquad(frequency, type, enable, gain, quality, c);
  uint8_t words[20];
  for (int i = 0; i < 5; ++i) DoubleToFixed824(words, i, c[i]);
  DspSafeloadBiquad(direction, channel, band, words);
}
