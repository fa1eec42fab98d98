// Equaliser bands: one second-order section per band, designed with the Audio EQ Cookbook at
// 48 kHz (shelf slope 1) and written with the five-word safeload. The only path by which EQ
// settings reach the DSPs.
#pragma once

#include <cstdint>

// Filter types as stored (ParseEqTypeName) and as the text band commands give them (TYPE - 1).
enum DspEqType {
  kEqPeaking = 0,
  kEqLowPass = 1,
  kEqHighPass = 2,
  kEqLowShelf = 3,
  kEqHighShelf = 4,
};

// The five normalised coefficients in slot order: b2/a0, b1/a0, b0/a0, -a2/a0, -a1/a0.
// Returns false (and the pass-through section 0, 0, 1, 0, 0) when enable is 0; when the gain is
// exactly 0 for a type other than low-pass and high-pass; for a type outside 0-4; and when the
// design is not finite (Q of 0, a NaN gain from a damaged file).
bool DspDesignBiquad(int frequency, int type, int enable, float gain, float quality,
                     double coefficients[5]);

// Designs one band and safeloads it to g_dsp_biquad_addr[direction][channel] + 5 * band.
// direction 0 input / 1 output, channel 0-13, band 0-7 (others are refused by the safeload).
// An unknown type with a non-zero gain passes the band through and prints one line.
void DspSetBiquad(uint32_t direction, uint32_t channel, uint8_t band, int frequency, int type,
                  int enable, float gain, float quality);
