// The limits of the control protocols (text and web), defined once. Handlers check their
// arguments against these before they call a change function. Counts that are also sizes of the
// configuration record (pairs, groups, presets, EQ bands and memories) come from app_config.h.
#pragma once

#include <cstddef>

#include "devctl/core/app_config.h"

// Channel numbers of the text protocol: 0 all, 1-14 a channel, 15-18 a group.
constexpr int kAllChannelsNumber = 0;
constexpr int kLastChannelNumber = kDspChannels;
constexpr int kFirstGroupNumber = kDspChannels + 1;
constexpr int kMaxChannelNumber = kDspChannels + kGroups;
// 0 all, a channel or a group.
constexpr bool IsChannelOrGroupNumber(int n) {
  return n >= kAllChannelsNumber && n <= kMaxChannelNumber;
}

constexpr int kMinInputGain = -30, kMaxInputGain = 30;  // dB
constexpr int kMinVolume = 0, kMaxVolume = 100;
constexpr int kMinDelayMs = 0, kMaxDelayMs = 50;
constexpr int kMinStep = 1, kMaxStep = 10;  // steps of the raise and lower commands

constexpr int kFirstPresetNumber = 1, kLastPresetNumber = kPresets;
constexpr int kMaxNameLength = 24;  // channel and preset names

// EQ memories by number: 1 Flat, 2 Custom1, 3 Custom2 (kEqMemories in all).
constexpr int kFirstEqMemoryNumber = 1;

// Network settings.
constexpr int kMaxPort = 65535;
constexpr size_t kMaxAddressText = 63;  // the address members of the web's network settings
constexpr size_t kMaxHostNameLength = 32;
constexpr size_t kMaxModelNameLength = 31;
// EQ band values of the band commands (text and web).
constexpr int kEqMinFrequency = 20, kEqMaxFrequency = 20000;  // Hz
constexpr float kEqMinGain = -15.0f, kEqMaxGain = 15.0f;      // dB
constexpr float kEqMinQuality = 0.02f, kEqMaxQuality = 50.0f;
constexpr int kEqTypes = 5;  // PARAMETRIC, LOWPASS, HIGHPASS, LOW_SHELF, HIGH_SHELF

// System settings.
constexpr int kUsbPortB = 1, kUsbPortC = 2;                      // the text protocol's USB ports
constexpr int kMinBaudRateIndex = 1, kMaxBaudRateIndex = 6;      // 4800 .. 115200 baud
constexpr int kMinStandbyMinutes = 0, kMaxStandbyMinutes = 120;  // 0: no auto standby
constexpr int kMinLcdMode = 0, kMaxLcdMode = 4;                  // off, on, lit 15/30/60 s
