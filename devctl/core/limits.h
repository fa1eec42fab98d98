// The protocol's limits, defined once for every front end.
#pragma once

// EQ band values.
constexpr int kEqMinFrequency = 20, kEqMaxFrequency = 20000;      // Hz
constexpr float kEqMinGain = -15.0f, kEqMaxGain = 15.0f;           // dB
constexpr float kEqMinQuality = 0.02f, kEqMaxQuality = 50.0f;
constexpr int kEqTypes = 5;  // PARAMETRIC, LOWPASS, HIGHPASS, LOW_SHELF, HIGH_SHELF
