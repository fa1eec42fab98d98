#include "devctl/core/app_config.h"

#include <cstring>

namespace {

// Target of an accessor called with an index that names no channel. Each thread has its own, and
// it is cleared on every use so nothing can be read back through it.
int& Scratch() {
  thread_local int scratch;
  scratch = 0;
  return scratch;
}

// Picks the field of DSP channel c from the three family arrays.
int& ByChannel(int c, int* analogue, int* tarvo, int* usb) {
  if (c >= 0 && c < kFirstTarvoChannel) return analogue[c];
  if (c >= kFirstTarvoChannel && c < kFirstUsbChannel) return tarvo[c - kFirstTarvoChannel];
  if (c >= kFirstUsbChannel && c < kDspChannels) return usb[c - kFirstUsbChannel];
  return Scratch();
}

// Picks the link flag of stereo pair p: 2 analogue pairs, 4 Tarvo pairs, then the USB pair.
int& ByPair(int p, int* analogue, int* tarvo, int& usb) {
  if (p >= 0 && p < 2) return analogue[p];
  if (p >= 2 && p < 6) return tarvo[p - 2];
  if (p == 6) return usb;
  return Scratch();
}

}  // namespace

int& app_config_s::InputGainRef(int c) {
  return ByChannel(c, analogue_input_gain, tarvo_input_gain, usb_input_gain);
}

int& app_config_s::InputMuteRef(int c) {
  return ByChannel(c, analogue_input_mute, tarvo_input_mute, usb_input_mute);
}

int& app_config_s::OutputVolRef(int c) {
  return ByChannel(c, analogue_output_vol, tarvo_output_vol, usb_output_vol);
}

int& app_config_s::OutputMuteRef(int c) {
  return ByChannel(c, analogue_output_mute, tarvo_output_mute, usb_output_mute);
}

int& app_config_s::OutputDelayRef(int c) {
  return ByChannel(c, analogue_output_delay, tarvo_output_delay, usb_output_delay);
}

int& app_config_s::InputLinkRef(int pair) {
  return ByPair(pair, analogue_input_stereo, tarvo_input_stereo, usb_input_stereo);
}

int& app_config_s::OutputLinkRef(int pair) {
  return ByPair(pair, analogue_output_stereo, tarvo_output_stereo, usb_output_stereo);
}

int app_config_s::InputLinkRef(int pair) const {
  return const_cast<app_config_s*>(this)->InputLinkRef(pair);
}

int app_config_s::OutputLinkRef(int pair) const {
  return const_cast<app_config_s*>(this)->OutputLinkRef(pair);
}

int* app_config_s::InputGroupMembers(int g) {
  int* lists[kGroups] = {group_input_stereo1, group_input_stereo2, group_input_stereo3,
                         group_input_stereo4};
  return (g >= 0 && g < kGroups) ? lists[g] : nullptr;
}

int* app_config_s::OutputGroupMembers(int g) {
  int* lists[kGroups] = {group_output_stereo1, group_output_stereo2, group_output_stereo3,
                         group_output_stereo4};
  return (g >= 0 && g < kGroups) ? lists[g] : nullptr;
}

const peq_data_s* app_config_s::EqMemory(int side, int m) const {
  if (m < 0 || m >= kEqMemories) return nullptr;
  if (side == EQ_SIDE_INPUT) {
    const peq_data_s* memories[kEqMemories] = {input_flat_date, input_custom1_date,
                                               input_custom2_date};
    return memories[m];
  }
  if (side == EQ_SIDE_OUTPUT) {
    const peq_data_s* memories[kEqMemories] = {output_flat_date, output_custom1_date,
                                               output_custom2_date};
    return memories[m];
  }
  return nullptr;
}

peq_data_s* app_config_s::EqMemory(int side, int m) {
  return const_cast<peq_data_s*>(static_cast<const app_config_s*>(this)->EqMemory(side, m));
}

peq_data_s* app_config_s::ActiveEq(int side, int k) {
  if (k < 0 || k >= kChannelSlots) return nullptr;
  int m = side == EQ_SIDE_OUTPUT ? output_preset[k] : input_preset[k];
  peq_data_s* memory = EqMemory(side, m);
  return memory ? &memory[k] : nullptr;
}

int ParseEqTypeName(const char* name) {
  static const char* const kTypeNames[] = {"PARAMETRIC", "LOWPASS", "HIGHPASS", "LOW_SHELF",
                                           "HIGH_SHELF"};
  if (!name) return -1;
  for (int i = 0; i < int(sizeof kTypeNames / sizeof kTypeNames[0]); ++i) {
    if (std::strncmp(name, kTypeNames[i], std::strlen(kTypeNames[i])) == 0) return i;
  }
  return -1;
}

void SetNameField(char (&field)[kNameSize], const char* text) {
  std::memset(field, 0, sizeof field);
  if (!text) return;
  size_t length = strnlen(text, sizeof field);
  if (length > sizeof field - 1) {
    // Cut before the character that would not fit whole: a name never ends in a broken
    // UTF-8 sequence.
    length = sizeof field - 1;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(field, text, length);
}

void CopyEqBand(peq_data_s& to, const peq_data_s& from, int b) {
  to.bypass[b] = from.bypass[b];
  to.gain[b] = from.gain[b];
  to.frequency[b] = from.frequency[b];
  to.quality[b] = from.quality[b];
  SetNameField(to.type_name[b], from.type_name[b]);
}
