#include "devctl/core/record_writes.h"

#include <cstring>

#include "devctl/core/config_lock.h"
#include "devctl/core/limits.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_biquad.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/io_expander.h"

namespace {

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

void WriteInputGain(app_config_s& record, int c) {
  const int gain = record.InputGainRef(c);
  if (c < kAnalogueChannels) SetAnalogGainRange(unsigned(c), gain);
  DspSetInputGain(c, gain);
}

void WriteInputMute(app_config_s& record, int c) {
  DspSetInputMute(c, record.InputMuteRef(c) != 0);
}

void WriteOutputVolume(app_config_s& record, int c) {
  DspSetOutputVolume(c, Clamp(record.OutputVolRef(c), kMinVolume, kMaxVolume));
}

void WriteOutputMute(app_config_s& record, int c) {
  DspSetOutputMute(c, record.OutputMuteRef(c) != 0);
}

void WriteOutputDelay(app_config_s& record, int c) {
  const int ms = Clamp(record.OutputDelayRef(c), kMinDelayMs, kMaxDelayMs);
  DspSetOutputDelay(c, uint32_t(ms * kDspSamplesPerMs));
}

void WriteOutputSource(app_config_s& record, int c) { DspSetOutputSource(c, record.control[c]); }

void WritePhantom(app_config_s& record, int c) {
  SetPhantomGpio(c, record.analogue_input_phantom[c] != 0);
}

void WriteEqBands(const app_config_s& record, int side, int c) {
  if (c < 0 || c >= kDspChannelCount) return;
  const int* selection = side == EQ_SIDE_INPUT ? record.input_preset : record.output_preset;
  const peq_data_s* memory = record.EqMemory(side, selection[c]);
  if (memory == nullptr) return;
  const peq_data_s& eq = memory[c];
  for (int b = 0; b < kEqBands; ++b) {
    char name[kNameSize + 1] = {};
    std::memcpy(name, eq.type_name[b], kNameSize);
    DspSetBiquad(uint32_t(side), uint32_t(c), uint8_t(b), eq.frequency[b], ParseEqTypeName(name),
                 eq.bypass[b], eq.gain[b], eq.quality[b]);
  }
}

void WriteLive(const std::function<void(app_config_s&)>& write) {
  ConfigReadLock lock;  // reads only
  write(g_unit.config);
}
