#include "devctl/core/presets.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/record_writes.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "platform/paths.h"
#include "platform/state_resets.h"
#include "platform/storage.h"

namespace {

// The board writes a recall calls for, by setting and channel, in the order a recall makes them:
// routing, phantom power, each channel's gain, mute, volume, mute and delay, then the input and
// the output equalisers. A write sends what the live record holds when it runs, so recalls made
// before the worker's pass need each setting written once.
enum RecallWrite {
  kRouting,
  kPhantom,
  kInputGain,
  kInputMute,
  kOutputVolume,
  kOutputMute,
  kOutputDelay,
  kInputEq,
  kOutputEq,
  kRecallWriteKinds
};

struct RecallWrites {
  bool any = false;
  bool wanted[kRecallWriteKinds][kDspChannels] = {};

  void Add(RecallWrite kind, int channel) {
    wanted[kind][channel] = true;
    any = true;
  }
};

// The writes recalls left for the worker. An inner lock: taken under the configuration lock by a
// recall, alone by the worker.
std::mutex& PendingWritesMutex() {
  static std::mutex mutex;
  return mutex;
}
RecallWrites& PendingWrites() {
  static RecallWrites writes;
  return writes;
}
const platform::StateReset kReset([] {
  std::lock_guard<std::mutex> lock(PendingWritesMutex());
  PendingWrites() = RecallWrites();
});

template <typename T, size_t N>
void CopyArray(T (&to)[N], const T (&from)[N]) {
  for (size_t i = 0; i < N; ++i) to[i] = from[i];
}

// Routing, phantom power and the channel settings: stored, and written where they differ.
void CopyChannels(app_config_s& live, app_config_s& p, RecallWrites& writes) {
  auto take = [&writes](int& to, int from, RecallWrite kind, int c) {
    if (to == from) return;
    to = from;
    writes.Add(kind, c);
  };
  for (int o = 0; o < kDspChannels; ++o) take(live.control[o], p.control[o], kRouting, o);
  for (int c = 0; c < kAnalogueChannels; ++c) {
    take(live.analogue_input_phantom[c], p.analogue_input_phantom[c], kPhantom, c);
  }
  for (int c = 0; c < kDspChannels; ++c) {
    take(live.InputGainRef(c), p.InputGainRef(c), kInputGain, c);
    take(live.InputMuteRef(c), p.InputMuteRef(c), kInputMute, c);
    if (c % 2 == 0) live.InputLinkRef(c / 2) = p.InputLinkRef(c / 2);
    take(live.OutputVolRef(c), p.OutputVolRef(c), kOutputVolume, c);
    take(live.OutputMuteRef(c), p.OutputMuteRef(c), kOutputMute, c);
    take(live.OutputDelayRef(c), p.OutputDelayRef(c), kOutputDelay, c);
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
void CopyEq(app_config_s& live, app_config_s& p, int side, RecallWrites& writes) {
  const int* selection = side == EQ_SIDE_INPUT ? live.input_preset : live.output_preset;
  for (int s = 0; s < kChannelSlots; ++s) {
    int m = selection[s];
    if (m < 0 || m >= kEqMemories) continue;
    if (m != 0) {
      peq_data_s& bands = live.EqMemory(side, m)[s];
      const peq_data_s& from = p.EqMemory(side, m)[s];
      for (int b = 0; b < kEqBands; ++b) CopyEqBand(bands, from, b);
    }
    if (s < kDspChannels) writes.Add(side == EQ_SIDE_INPUT ? kInputEq : kOutputEq, s);
  }
}

// One recalled setting sent from the live record, when a recall asked for it.
void Send(const RecallWrites& writes, RecallWrite kind, int c, void (*write)(app_config_s&, int)) {
  if (!writes.wanted[kind][c]) return;
  WriteLive([write, c](app_config_s& record) { write(record, c); });
}

void WriteInputEq(app_config_s& record, int c) { WriteEqBands(record, EQ_SIDE_INPUT, c); }
void WriteOutputEq(app_config_s& record, int c) { WriteEqBands(record, EQ_SIDE_OUTPUT, c); }

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

bool RecallPresetIntoRecord(UnitState& unit, int n) {
  if (n < 1 || n > kPresets || unit.config.preset_enable[n - 1] == 0) return false;
  RecallWrites writes;
  app_config_s& p = unit.presets[n - 1];
  CopyChannels(unit.config, p, writes);
  CopyGroupsAndEqSelection(unit.config, p);
  CopyEq(unit.config, p, EQ_SIDE_INPUT, writes);
  CopyEq(unit.config, p, EQ_SIDE_OUTPUT, writes);
  std::lock_guard<std::mutex> lock(PendingWritesMutex());
  RecallWrites& pending = PendingWrites();
  for (int kind = 0; kind < kRecallWriteKinds; ++kind) {
    for (int c = 0; c < kDspChannels; ++c) {
      if (writes.wanted[kind][c]) pending.Add(RecallWrite(kind), c);
    }
  }
  return true;
}

bool RecallWritesPending() {
  std::lock_guard<std::mutex> lock(PendingWritesMutex());
  return PendingWrites().any;
}

void RunPendingRecall(bool audio_mute_held) {
  RecallWrites writes;
  {
    // Taken and cleared in one step: a recall made while these writes run waits for the next pass.
    std::lock_guard<std::mutex> lock(PendingWritesMutex());
    writes = PendingWrites();
    PendingWrites() = RecallWrites();
  }
  if (!writes.any) return;
  SetAudioMuteGpio(1);
  for (int o = 0; o < kDspChannels; ++o) Send(writes, kRouting, o, WriteOutputSource);
  for (int c = 0; c < kAnalogueChannels; ++c) Send(writes, kPhantom, c, WritePhantom);
  for (int c = 0; c < kDspChannels; ++c) {
    Send(writes, kInputGain, c, WriteInputGain);
    Send(writes, kInputMute, c, WriteInputMute);
    Send(writes, kOutputVolume, c, WriteOutputVolume);
    Send(writes, kOutputMute, c, WriteOutputMute);
    Send(writes, kOutputDelay, c, WriteOutputDelay);
  }
  for (int c = 0; c < kDspChannels; ++c) Send(writes, kInputEq, c, WriteInputEq);
  for (int c = 0; c < kDspChannels; ++c) Send(writes, kOutputEq, c, WriteOutputEq);
  SetAudioMuteGpio(audio_mute_held ? 1 : 0);
}
