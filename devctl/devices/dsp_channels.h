// The channel setters of the DSPs: each turns one setting into one DSP word and places it with
// a one-word safeload into the cell its table gives for the channel. They are the only path by
// which gain, mute, volume, routing and delay reach the DSPs.
//
// Channel index: 0-3 analogue 1-4, 4-11 network (Tarvo) 1-8, 12-13 USB left/right. Parameters
// of 4-11 live on DSP B, the others on DSP A; the output source cells all live on DSP A.
// An index outside 0-13 is ignored. Bus failures are printed by the bus layer and not reported.
#pragma once

#include <cstdint>

#include "devctl/devices/dsp_access.h"

extern const uint32_t g_dsp_input_gain_addr[kDspChannelCount];
extern const uint32_t g_dsp_input_mute_addr[kDspChannelCount];
extern const uint32_t g_dsp_output_volume_addr[kDspChannelCount];
extern const uint32_t g_dsp_output_mute_addr[kDspChannelCount];
extern const uint32_t g_dsp_output_source_addr[kDspChannelCount];
extern const uint32_t g_dsp_output_delay_addr[kDspChannelCount];
// Analogue input trim, 8.24, entry dB + 30 for -30..30 dB. It restarts at 1.0 where the
// expander's gain range changes (-9 and 6 dB).
extern const uint32_t g_dsp_analog_trim[61];

// The delay cell of both USB outputs: the DSP program has one delay for the USB pair.
constexpr uint32_t kDspUsbDelayCell = 0x1B47;

constexpr int kDspMinGainDb = -30;
constexpr int kDspMaxGainDb = 30;

// Words as written (exposed for the callers' and tests' use).
// Analogue (0-3): the trim word; others: 10^(dB/20) in 8.24. dB is clamped to -30..30.
uint32_t DspInputGainWord(int channel, int db);
// 0 for 0 %, else percent / 100 in 8.24.
uint32_t DspOutputVolumeWord(int percent);
// Protocol source (0 none, 1-4 analogue, 5-12 Tarvo 1-8, 13-14 USB L/R) to the DSP's code
// (1-4 analogue, 5-6 USB, 7-14 Tarvo); anything else 0.
uint32_t DspSourceCode(int source);

// Mute holds: while any hold is on for a channel, its mute cell is written muted whatever the
// caller asks, so no path can make it heard: the unit in standby (every channel), an analogue
// input's phantom-power switch, a USB port switch (the USB inputs). Setting or ending a hold
// writes nothing: whoever ends one writes the stored mute again.
enum DspMuteHold : unsigned {
  kMuteHoldStandby = 1u << 0,
  kMuteHoldPhantom = 1u << 1,
  kMuteHoldUsbSwitch = 1u << 2,
};
void DspHoldInputMute(int channel, unsigned hold, bool on);
void DspHoldAllMutes(unsigned hold, bool on);

void DspSetInputGain(int channel, int db);
// The mute as asked, or muted while a hold is on.
void DspSetInputMute(int channel, bool mute);
void DspSetOutputVolume(int channel, int percent);
// The mute as asked, or muted while a hold is on.
void DspSetOutputMute(int channel, bool mute);
// Always on DSP A.
void DspSetOutputSource(int channel, int source);
// The low 16 bits of the sample count (callers pass milliseconds x 48).
// The delay in samples: kDspSamplesPerMs for each millisecond (48 kHz).
constexpr int kDspSamplesPerMs = 48;
void DspSetOutputDelay(int channel, uint32_t samples);

// Reads the fourteen level meters one by one: 1 as soon as one exceeds 1e-6 (unsigned 8.24),
// else 0. A failed read counts as silence.
int DspDetectSignal();
