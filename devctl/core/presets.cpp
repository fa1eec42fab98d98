#include "devctl/core/presets.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/notices.h"
#include "devctl/core/record_writes.h"
#include "devctl/core/settings_save.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "platform/paths.h"
#include "platform/storage.h"


namespace {

// The board writes a recall calls for, in order. Each is made on the live record under the lock
// when it runs, so a command that changed the same setting meanwhile is what the board ends with.
struct HardwareWrite {
  void (*write)(app_config_s&, int);
  int channel;
};
using HardwareWrites = std::vector<HardwareWrite>;

template <typename T, size_t N>
void CopyArray(T (&to)[N], const T (&from)[N]) {
  for (size_t i = 0; i < N; ++i) to[i] = from[i];
}

// Routing, phantom power and the channel settings: stored, and written where they differ.
void CopyChannels(app_config_s& live, app_config_s& p, HardwareWrites& writes) {
  auto take = [&writes](int& to, int from, void (*write)(app_config_s&, int), int c) {
    if (to == from) return;
    to = from;
    writes.push_back({write, c});
  };
  for (int o = 0; o < kDspChannels; ++o) {
    take(live.control[o], p.control[o], WriteOutputSource, o);
  }
  for (int c = 0; c < kAnalogueChannels; ++c) {
    take(live.analogue_input_phantom[c], p.analogue_input_phantom[c], WritePhantom, c);
  }
  for (int c = 0; c < kDspChannels; ++c) {
    take(live.InputGainRef(c), p.InputGainRef(c), WriteInputGain, c);
    take(live.InputMuteRef(c), p.InputMuteRef(c), WriteInputMute, c);
    if (c % 2 == 0) live.InputLinkRef(c / 2) = p.InputLinkRef(c / 2);
    take(live.OutputVolRef(c), p.OutputVolRef(c), WriteOutputVolume, c);
    take(live.OutputMuteRef(c), p.OutputMuteRef(c), WriteOutputMute, c);
    take(live.OutputDelayRef(c), p.OutputDelayRef(c), WriteOutputDelay, c);
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
    if (m != 0) {
      peq_data_s& bands = live.EqMemory(side, m)[s];
      const peq_data_s& from = p.EqMemory(side, m)[s];
      for (int b = 0; b < kEqBands; ++b) CopyEqBand(bands, from, b);
    }
    if (s >= kDspChannels) continue;
    if (side == EQ_SIDE_INPUT) {
      writes.push_back({[](app_config_s& r, int c) { WriteEqBands(r, EQ_SIDE_INPUT, c); }, s});
    } else {
      writes.push_back({[](app_config_s& r, int c) { WriteEqBands(r, EQ_SIDE_OUTPUT, c); }, s});
    }
  }
}

}  // namespace

void LoadPresetSlots() {
  std::string mac, type;
  {
    ConfigLock lock;
    mac = g_unit.identity.mac;
    type = g_unit.config.type;
  }
  for (int n = 1; n <= kPresets; ++n) {
    char file[64];
    std::snprintf(file, sizeof file, "/oem/app_preset%d.json", n);
    // Temporaries of preset saves cut short (a kill, a power loss) are of no use any more; no
    // preset is saved while the slots load at start.
    platform::RemoveStaleTemporaries(platform::Path(file));
    LoadAppConfigFile(file, file, &g_unit.presets[n - 1], mac, type);
  }
}

bool ReloadPresetSlot(int n) {
  if (n < 1 || n > kPresets) return false;
  char file[64];
  std::snprintf(file, sizeof file, "/oem/app_preset%d.json", n);
  ConfigLock lock;
  auto slot = std::make_unique<app_config_s>();
  if (!LoadAppConfigFile(file, file, slot.get(), g_unit.identity.mac, g_unit.config.type)) {
    return false;
  }
  g_unit.presets[n - 1] = *slot;
  return true;
}

void RecallPendingPreset() {
  int n = g_unit.pending_preset.exchange(0);
  if (n < 1 || n > kPresets) return;

  // The record changes under the configuration lock; the board writes it calls for follow, each
  // taking the lock again and writing what the record holds then.
  HardwareWrites writes;
  {
    ConfigLock lock;
    if (g_unit.config.preset_enable[n - 1] != 0) {
      app_config_s& p = g_unit.presets[n - 1];
      CopyChannels(g_unit.config, p, writes);
      CopyGroupsAndEqSelection(g_unit.config, p);
      CopyEq(g_unit.config, p, EQ_SIDE_INPUT, writes);
      CopyEq(g_unit.config, p, EQ_SIDE_OUTPUT, writes);
    }
  }
  for (const HardwareWrite& w : writes) {
    WriteLive([&w](app_config_s& record) { w.write(record, w.channel); });
  }
  // The request was answered before the recall ran: a failed save is told to every port.
  if (!SaveLiveSettings()) SendNotice(kSaveFailedLine);
}

void RunPendingRecall() {
  if (g_unit.pending_preset == 0) return;
  SetAudioMuteGpio(1);
  RecallPendingPreset();
  SetAudioMuteGpio(0);
}
