#include "devctl/core/presets.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"
#include "devctl/core/limits.h"
#include "devctl/hardware/board_lines.h"
#include "devctl/hardware/dsp_biquad.h"
#include "devctl/hardware/dsp_channels.h"
#include "devctl/hardware/io_expander.h"

std::atomic<int> g_pending_preset{0};

namespace {

using HardwareWrites = std::vector<std::function<void()>>;

int DelaySamples(int ms) {
  if (ms < 0) ms = 0;
  if (ms > kMaxDelayMs) ms = kMaxDelayMs;
  return ms * kDspSamplesPerMs;
}

template <typename T, size_t N>
void CopyArray(T (&to)[N], const T (&from)[N]) {
  for (size_t i = 0; i < N; ++i) to[i] = from[i];
}

// Routing, phantom power and the channel settings: stored and written where they differ.
void CopyChannels(app_config_s& live, app_config_s& p, HardwareWrites& writes) {
  for (int o = 0; o < kDspChannels; ++o) {
    if (live.control[o] == p.control[o]) continue;
    int source = live.control[o] = p.control[o];
    writes.push_back([o, source] { DspSetOutputSource(o, source); });
  }
  for (int c = 0; c < kAnalogueChannels; ++c) {
    if (live.analogue_input_phantom[c] == p.analogue_input_phantom[c]) continue;
    int value = live.analogue_input_phantom[c] = p.analogue_input_phantom[c];
    writes.push_back([c, value] { SetPhantomGpio(c, uint8_t(value)); });
  }
  for (int c = 0; c < kDspChannels; ++c) {
    if (live.InputGainRef(c) != p.InputGainRef(c)) {
      int gain = live.InputGainRef(c) = p.InputGainRef(c);
      writes.push_back([c, gain] {
        if (c < kAnalogueChannels) SetAnalogGainRange(unsigned(c), gain);
        DspSetInputGain(c, gain);
      });
    }
    if (live.InputMuteRef(c) != p.InputMuteRef(c)) {
      int mute = live.InputMuteRef(c) = p.InputMuteRef(c);
      writes.push_back([c, mute] { DspSetInputMute(c, mute != 0); });
    }
    if (c % 2 == 0) live.InputLinkRef(c / 2) = p.InputLinkRef(c / 2);
    if (live.OutputVolRef(c) != p.OutputVolRef(c)) {
      int volume = live.OutputVolRef(c) = p.OutputVolRef(c);
      writes.push_back([c, volume] { DspSetOutputVolume(c, volume); });
    }
    if (live.OutputMuteRef(c) != p.OutputMuteRef(c)) {
      int mute = live.OutputMuteRef(c) = p.OutputMuteRef(c);
      writes.push_back([c, mute] { DspSetOutputMute(c, mute != 0); });
    }
    if (live.OutputDelayRef(c) != p.OutputDelayRef(c)) {
      int delay = live.OutputDelayRef(c) = p.OutputDelayRef(c);
      writes.push_back([c, delay] { DspSetOutputDelay(c, uint32_t(DelaySamples(delay))); });
    }
    if (c % 2 == 0) live.OutputLinkRef(c / 2) = p.OutputLinkRef(c / 2);
  }
}

// Group memberships and levels, EQ selections and locks: copied without hardware writes.
void CopyGroupsAndEqSelection(app_config_s& live, const app_config_s& p) {
  CopyArray(live.group_input_stereo1, p.group_input_stereo1);
  CopyArray(live.group_input_stereo2, p.group_input_stereo2);
  CopyArray(live.group_input_stereo3, p.group_input_stereo3);
  CopyArray(live.group_input_stereo4, p.group_input_stereo4);
  CopyArray(live.group_output_stereo1, p.group_output_stereo1);
  CopyArray(live.group_output_stereo2, p.group_output_stereo2);
  CopyArray(live.group_output_stereo3, p.group_output_stereo3);
  CopyArray(live.group_output_stereo4, p.group_output_stereo4);
  CopyArray(live.group_input_gain, p.group_input_gain);
  CopyArray(live.group_input_mute, p.group_input_mute);
  CopyArray(live.group_output_vol, p.group_output_vol);
  CopyArray(live.group_output_mute, p.group_output_mute);
  CopyArray(live.input_preset, p.input_preset);
  CopyArray(live.input_stereo, p.input_stereo);
  CopyArray(live.output_preset, p.output_preset);
  CopyArray(live.output_stereo, p.output_stereo);
  live.input_geq_chn = p.input_geq_chn;
}

// Each slot's selected Custom memory comes from the preset (a Flat selection keeps the live Flat
// memory); every band of channels 1-14 is written, changed or not. Group slots are not on a DSP.
void CopyEq(app_config_s& live, app_config_s& p, int side, HardwareWrites& writes) {
  const int* selection = side == EQ_SIDE_INPUT ? live.input_preset : live.output_preset;
  for (int s = 0; s < kChannelSlots; ++s) {
    int m = selection[s];
    if (m < 0 || m >= kEqMemories) continue;
    peq_data_s& bands = live.EqMemory(side, m)[s];
    if (m != 0) {
      const peq_data_s& from = p.EqMemory(side, m)[s];
      for (int b = 0; b < kEqBands; ++b) CopyEqBand(bands, from, b);
    }
    if (s >= kDspChannels) continue;
    for (int b = 0; b < kEqBands; ++b) {
      int frequency = bands.frequency[b];
      int type = ParseEqTypeName(bands.type_name[b]);
      int enable = bands.bypass[b];
      float gain = bands.gain[b];
      float quality = bands.quality[b];
      writes.push_back([=] {
        DspSetBiquad(uint32_t(side), uint32_t(s), uint8_t(b), frequency, type, enable, gain, quality);
      });
    }
  }
}

}  // namespace

void LoadPresetSlots() {
  std::string mac, type;
  {
    ConfigLock lock;
    mac = g_device_identity.mac;
    type = g_app_config.type;
  }
  for (int n = 1; n <= kPresets; ++n) {
    char file[64];
    std::snprintf(file, sizeof file, "/oem/app_preset%d.json", n);
    LoadAppConfigFile(file, file, &g_preset_configs[n - 1], mac, type);
  }
}

void RecallPendingPreset() {
  int n = g_pending_preset.exchange(0);
  if (n < 1 || n > kPresets) return;

  // The record changes under the configuration lock; the bus writes it calls for run after it,
  // in the same order.
  HardwareWrites writes;
  {
    ConfigLock lock;
    if (g_app_config.preset_enable[n - 1] == 0) {
      SaveAppConfig(g_config_path, &g_app_config);
      return;
    }
    app_config_s& p = g_preset_configs[n - 1];
    CopyChannels(g_app_config, p, writes);
    CopyGroupsAndEqSelection(g_app_config, p);
    CopyEq(g_app_config, p, EQ_SIDE_INPUT, writes);
    CopyEq(g_app_config, p, EQ_SIDE_OUTPUT, writes);
  }
  for (const auto& write : writes) write();
  ConfigLock lock;
  SaveAppConfig(g_config_path, &g_app_config);
}
