#include "devctl/core/config_bounds.h"

#include <cstdio>

#include "devctl/core/limits.h"

namespace {

// Brings value into [lo, hi] (a value outside it takes the nearer end) and says so.
void Clamp(int& value, int lo, int hi, const char* what, int index) {
  const int bounded = value < lo ? lo : (value > hi ? hi : value);
  if (bounded == value) return;
  std::printf("config: %s %d out of range (%d); %d is used\n", what, index + 1, value, bounded);
  value = bounded;
}

// A flag: any value but 0 counts as set.
void Flag(int& value, const char* what, int index) {
  if (value == 0 || value == 1) return;
  std::printf("config: %s %d is %d; 1 is used\n", what, index + 1, value);
  value = 1;
}

// A flag that is one setting of the unit, not one of a row of channels.
void UnitFlag(int& value, const char* what) {
  if (value == 0 || value == 1) return;
  std::printf("config: %s is %d; 1 is used\n", what, value);
  value = 1;
}

// A choice out of [lo, hi]: anything else takes the default.
void Choice(int& value, int lo, int hi, int fallback, const char* what, int index) {
  if (value >= lo && value <= hi) return;
  std::printf("config: %s %d is %d; %d is used\n", what, index + 1, value, fallback);
  value = fallback;
}

}  // namespace

void BoundChannelSettings(app_config_s* cfg) {
  for (int c = 0; c < kDspChannels; ++c) {
    Choice(cfg->control[c], 0, kDspChannels, 0, "output source", c);
    Clamp(cfg->InputGainRef(c), kMinInputGain, kMaxInputGain, "input gain", c);
    Flag(cfg->InputMuteRef(c), "input mute", c);
    Clamp(cfg->OutputVolRef(c), kMinVolume, kMaxVolume, "output volume", c);
    Flag(cfg->OutputMuteRef(c), "output mute", c);
    Clamp(cfg->OutputDelayRef(c), kMinDelayMs, kMaxDelayMs, "output delay", c);
  }
  for (int pair = 0; pair < kDspChannels / 2; ++pair) {
    Flag(cfg->InputLinkRef(pair), "input link", pair);
    Flag(cfg->OutputLinkRef(pair), "output link", pair);
  }
  for (int c = 0; c < kAnalogueChannels; ++c) {
    Flag(cfg->analogue_input_phantom[c], "phantom power", c);
  }
  for (int g = 0; g < kGroups; ++g) {
    Clamp(cfg->group_input_gain[g], kMinInputGain, kMaxInputGain, "input group gain", g);
    Flag(cfg->group_input_mute[g], "input group mute", g);
    Clamp(cfg->group_output_vol[g], kMinVolume, kMaxVolume, "output group volume", g);
    Flag(cfg->group_output_mute[g], "output group mute", g);
    int* inputs = cfg->InputGroupMembers(g);
    int* outputs = cfg->OutputGroupMembers(g);
    for (int c = 0; c < kDspChannels; ++c) {
      if (inputs != nullptr) Flag(inputs[c], "input group member", g * kDspChannels + c);
      if (outputs != nullptr) Flag(outputs[c], "output group member", g * kDspChannels + c);
    }
  }
  for (int s = 0; s < kChannelSlots; ++s) {
    Choice(cfg->input_preset[s], 0, kEqMemories - 1, 0, "input EQ memory", s);
    Flag(cfg->input_stereo[s], "input EQ lock", s);
    Choice(cfg->output_preset[s], 0, kEqMemories - 1, 0, "output EQ memory", s);
    Flag(cfg->output_stereo[s], "output EQ lock", s);
  }
  for (int n = 0; n < kPresets; ++n) Flag(cfg->preset_enable[n], "preset enabled", n);
}

void BoundSystemSettings(app_config_s* cfg) {
  UnitFlag(cfg->power, "power");
  UnitFlag(cfg->usb_status, "USB port");
}
