// The DSP program and parameter images, embedded at build time from data/*.bin (see
// data/README.md). The data-memory-1 images are all zero.
#pragma once

#include <cstdint>

constexpr int kDspAProgramBytes = 13700;
constexpr int kDspADm0Bytes = 66516;
constexpr int kDspADm1Bytes = 23184;
constexpr int kDspBProgramBytes = 4212;
constexpr int kDspBDm0Bytes = 51456;
constexpr int kDspBDm1Bytes = 31472;

extern const uint8_t g_dsp_a_program[kDspAProgramBytes];
extern const uint8_t g_dsp_a_dm0[kDspADm0Bytes];
extern const uint8_t g_dsp_a_dm1[kDspADm1Bytes];
extern const uint8_t g_dsp_b_program[kDspBProgramBytes];
extern const uint8_t g_dsp_b_dm0[kDspBDm0Bytes];
extern const uint8_t g_dsp_b_dm1[kDspBDm1Bytes];
