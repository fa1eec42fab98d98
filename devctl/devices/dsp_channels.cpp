#include "devctl/devices/dsp_channels.h"

#include <cmath>
#include <mutex>

#include "platform/state_resets.h"

const uint32_t g_dsp_input_gain_addr[kDspChannelCount] = {
    0x10E, 0x111, 0x114, 0x117, 0x1CD, 0x1D0, 0x1D3, 0x1D6, 0x1D9, 0x1DC, 0x1DF, 0x1E2, 0xD4, 0xD7};
const uint32_t g_dsp_input_mute_addr[kDspChannelCount] = {0x133, 0x136, 0x139,  0x13C, 0x1E6,
                                                          0x1E9, 0x1EC, 0x1EF,  0x1F2, 0x1F5,
                                                          0x1F8, 0x1FB, 0x40EF, 0x40F0};
const uint32_t g_dsp_output_volume_addr[kDspChannelCount] = {0x1B20, 0x1B23, 0x1B26, 0x1B29, 0x3230,
                                                             0x3231, 0x3232, 0x3233, 0x322C, 0x322D,
                                                             0x322E, 0x322F, 0x1B2C, 0x1B2F};
const uint32_t g_dsp_output_mute_addr[kDspChannelCount] = {0x1B33, 0x1B36, 0x1B39, 0x1B3C, 0x3238,
                                                           0x3239, 0x323A, 0x323B, 0x3234, 0x3235,
                                                           0x3236, 0x3237, 0x1B3F, 0x1B42};
const uint32_t g_dsp_output_source_addr[kDspChannelCount] = {0x1B49, 0x1B4A, 0x1B4B, 0x40E4, 0x40E7,
                                                             0x40E8, 0x40E9, 0x40EA, 0x40EB, 0x40EC,
                                                             0x40ED, 0x40EE, 0x40E5, 0x40E6};
const uint32_t g_dsp_output_delay_addr[kDspChannelCount] = {
    0x1B43, 0x1B44, 0x1B45, 0x1B46,           0x200,           0x201, 0x202, 0x203, 0x1FC,
    0x1FD,  0x1FE,  0x1FF,  kDspUsbDelayCell, kDspUsbDelayCell};

// round(10^((d - o) / 20) * 2^24), o = -16.5 (d <= -10), -9 (-9..5), 6 (6..19), 19.7 (>= 20).
const uint32_t g_dsp_analog_trim[61] = {
    0x00361AF6, 0x003CB509, 0x00441D54, 0x004C6D01, 0x0055C04C, 0x006036E1,  // -30 .. -25
    0x006BF44D, 0x00792071, 0x0087E80B, 0x00987D50, 0x00AB1896, 0x00BFF911,  // -24 .. -19
    0x00D765AC, 0x00F1ADF9, 0x010F2B41, 0x013041AF, 0x015561A9, 0x017F094D,  // -18 .. -13
    0x01ADC61A, 0x01E236D4, 0x021D0D9E, 0x01000000, 0x011F3C9A, 0x014248F0,  // -12 .. -7
    0x01699C0F, 0x0195BB8F, 0x01C73D52, 0x01FEC983, 0x023D1CD4, 0x02830AFD,  //  -6 .. -1
    0x02D1818B, 0x03298B07, 0x038C5281, 0x03FB2784, 0x0477828F, 0x05030A11,  //   0 ..  5
    0x01000000, 0x011F3C9A, 0x014248F0, 0x01699C0F, 0x0195BB8F, 0x01C73D52,  //   6 .. 11
    0x01FEC983, 0x023D1CD4, 0x02830AFD, 0x02D1818B, 0x03298B07, 0x038C5281,  //  12 .. 17
    0x03FB2784, 0x0477828F, 0x0108FF14, 0x012954B2, 0x014D9C57, 0x0176513E,  //  18 .. 23
    0x01A3FDB1, 0x01D73CD5, 0x0210BCC1, 0x025140C7, 0x0299A40F, 0x02EADC7F,  //  24 .. 29
    0x0345FDFF,                                                              //  30
};

namespace {

constexpr uint32_t kUnity = 0x01000000;

bool ValidChannel(int channel) { return channel >= 0 && channel < kDspChannelCount; }

uint32_t Fixed824(double v) {
  uint8_t b[4];
  DoubleToFixed824(b, 0, v);
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

void Safeload(int channel, const uint32_t* cells, uint32_t word) {
  DspSafeloadWord(DspAddressForChannel(channel), static_cast<uint16_t>(cells[channel]), word);
}

}  // namespace

uint32_t DspInputGainWord(int channel, int db) {
  if (db < kDspMinGainDb) db = kDspMinGainDb;
  if (db > kDspMaxGainDb) db = kDspMaxGainDb;
  if (channel >= 0 && channel < 4) return g_dsp_analog_trim[db - kDspMinGainDb];
  float exponent = static_cast<float>(db) / 20.0f;
  float linear = static_cast<float>(std::pow(10.0, static_cast<double>(exponent)));
  return Fixed824(linear);
}

uint32_t DspOutputVolumeWord(int percent) {
  if (percent == 0) return 0;
  return Fixed824(static_cast<float>(percent) / 100.0f);
}

uint32_t DspSourceCode(int source) {
  if (source >= 1 && source <= 4) return uint32_t(source);
  if (source >= 5 && source <= 12) return uint32_t(source + 2);
  if (source >= 13 && source <= 14) return uint32_t(source - 8);
  return 0;
}

void DspSetInputGain(int channel, int db) {
  if (!ValidChannel(channel)) return;
  Safeload(channel, g_dsp_input_gain_addr, DspInputGainWord(channel, db));
}

namespace {

// A mute cell is written with the holds read under this lock, and a hold is set under it: a
// command that read "no hold" has written before the holder's own muted write comes.
std::mutex g_mute_mutex;
unsigned g_input_holds[kDspChannelCount];
unsigned g_output_holds[kDspChannelCount];

void Hold(unsigned& holds, unsigned hold, bool on) {
  if (on) {
    holds |= hold;
  } else {
    holds &= ~hold;
  }
}

}  // namespace

void DspHoldInputMute(int channel, unsigned hold, bool on) {
  if (!ValidChannel(channel)) return;
  std::lock_guard<std::mutex> lock(g_mute_mutex);
  Hold(g_input_holds[channel], hold, on);
}

void DspHoldAllMutes(unsigned hold, bool on) {
  std::lock_guard<std::mutex> lock(g_mute_mutex);
  for (int c = 0; c < kDspChannelCount; ++c) {
    Hold(g_input_holds[c], hold, on);
    Hold(g_output_holds[c], hold, on);
  }
}

namespace {
const platform::StateReset kReset([] {
  DspHoldAllMutes(kMuteHoldStandby | kMuteHoldPhantom | kMuteHoldUsbSwitch, false);
});
}  // namespace

void DspSetInputMute(int channel, bool mute) {
  if (!ValidChannel(channel)) return;
  std::lock_guard<std::mutex> lock(g_mute_mutex);
  const bool muted = mute || g_input_holds[channel] != 0;
  Safeload(channel, g_dsp_input_mute_addr, muted ? 0 : kUnity);
}

void DspSetOutputVolume(int channel, int percent) {
  if (!ValidChannel(channel)) return;
  Safeload(channel, g_dsp_output_volume_addr, DspOutputVolumeWord(percent));
}

void DspSetOutputMute(int channel, bool mute) {
  if (!ValidChannel(channel)) return;
  std::lock_guard<std::mutex> lock(g_mute_mutex);
  const bool muted = mute || g_output_holds[channel] != 0;
  Safeload(channel, g_dsp_output_mute_addr, muted ? 0 : kUnity);
}

void DspSetOutputSource(int channel, int source) {
  if (!ValidChannel(channel)) return;
  DspSafeloadWord(kDspAAddress8, static_cast<uint16_t>(g_dsp_output_source_addr[channel]),
                  DspSourceCode(source));
}

void DspSetOutputDelay(int channel, uint32_t samples) {
  if (!ValidChannel(channel)) return;
  Safeload(channel, g_dsp_output_delay_addr, samples & 0xFFFF);
}

int DspDetectSignal() {
  static const struct {
    uint8_t dsp;
    uint16_t cell;
  } kMeters[] = {{kDspAAddress8, 0x2A}, {kDspAAddress8, 0x38}, {kDspAAddress8, 0x46},
                 {kDspAAddress8, 0x54}, {kDspAAddress8, 0xFB}, {kDspAAddress8, 0x109},
                 {kDspBAddress8, 0x26}, {kDspBAddress8, 0x34}, {kDspBAddress8, 0x42},
                 {kDspBAddress8, 0x50}, {kDspBAddress8, 0x5E}, {kDspBAddress8, 0x6C},
                 {kDspBAddress8, 0x7A}, {kDspBAddress8, 0x88}};
  uint8_t word[4] = {0, 0, 0, 0};
  for (const auto& m : kMeters) {
    DspReadWord(m.dsp, m.cell, word);
    if (Fixed824ToDouble(word) > 1e-6) return 1;
  }
  return 0;
}
