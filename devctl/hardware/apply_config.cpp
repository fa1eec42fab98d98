#include "devctl/hardware/apply_config.h"

#include <cstring>
#include <memory>

#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"
#include "devctl/core/limits.h"
#include "devctl/hardware/board_lines.h"
#include "devctl/hardware/dsp_biquad.h"
#include "devctl/hardware/dsp_channels.h"
#include "devctl/hardware/io_expander.h"

namespace {

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The four channel writes every channel gets (analogue channels also their gain range first).
void ApplyChannel(app_config_s& record, int c) {
  const int gain = record.InputGainRef(c);
  if (c < kAnalogueChannels) SetAnalogGainRange(unsigned(c), gain);
  DspSetInputGain(c, gain);
  DspSetInputMute(c, record.InputMuteRef(c) != 0);
  DspSetOutputVolume(c, Clamp(record.OutputVolRef(c), 0, kMaxVolume));
  DspSetOutputMute(c, record.OutputMuteRef(c) != 0);
}

void ApplyEqualisers(const app_config_s& cfg, int side, const int* selection) {
  for (int c = 0; c < kDspChannelCount; ++c) {
    const peq_data_s* memory = cfg.EqMemory(side, selection[c]);
    if (memory == nullptr) continue;  // a selection outside 0-2 leaves the DSP as it is
    const peq_data_s& eq = memory[c];
    for (int b = 0; b < kEqBands; ++b) {
      char name[kNameSize + 1] = {};
      std::memcpy(name, eq.type_name[b], kNameSize);
      DspSetBiquad(uint32_t(side), uint32_t(c), uint8_t(b), eq.frequency[b],
                   ParseEqTypeName(name), eq.bypass[b], eq.gain[b], eq.quality[b]);
    }
  }
}

// cfg is a private copy: the per-channel accessors are not const.
void Apply(app_config_s& cfg) {
  for (int c = 0; c < kAnalogueChannels; ++c) {
    SetPhantomGpio(c, cfg.analogue_input_phantom[c] != 0);
  }
  for (int c = 0; c < kDspChannelCount; ++c) ApplyChannel(cfg, c);
  for (int c = 0; c < kDspChannelCount; ++c) {
    int ms = Clamp(cfg.OutputDelayRef(c), 0, kMaxDelayMs);
    DspSetOutputDelay(c, uint32_t(ms * kDspSamplesPerMs));
  }
  ApplyEqualisers(cfg, EQ_SIDE_INPUT, cfg.input_preset);
  ApplyEqualisers(cfg, EQ_SIDE_OUTPUT, cfg.output_preset);
  for (int c = 0; c < kDspChannelCount; ++c) DspSetOutputSource(c, cfg.control[c]);
}

}  // namespace

void ApplyConfigToHardware(const app_config_s& cfg) {
  auto copy = std::make_unique<app_config_s>(cfg);
  Apply(*copy);
}

void ApplyConfigToHardware() {
  // A snapshot: the DSP writes take a while and must not hold the configuration lock.
  auto snapshot = std::make_unique<app_config_s>();
  {
    ConfigLock lock;
    *snapshot = g_app_config;
  }
  Apply(*snapshot);
}
