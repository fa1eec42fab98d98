#include "devctl/core/group_members.h"

#include <cstring>

#include "devctl/core/links_groups.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_biquad.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/io_expander.h"
#include "platform/clock.h"

namespace {

// The analogue front end switches its gain range while the input is muted.
constexpr int kRangeSwitchMuteMs = 10;
constexpr int kGroupSlot = kDspChannels;  // EQ slot of group 0; groups 0-3 are slots 14-17

bool IsSide(int side) { return side == EQ_SIDE_INPUT || side == EQ_SIDE_OUTPUT; }

int* Members(app_config_s& config, int side, int g) {
  return side == EQ_SIDE_OUTPUT ? config.OutputGroupMembers(g) : config.InputGroupMembers(g);
}

int& LinkFlag(app_config_s& config, int side, int c) {
  return side == EQ_SIDE_OUTPUT ? config.OutputLinkRef(c / 2) : config.InputLinkRef(c / 2);
}

int* Selection(app_config_s& config, int side) {
  return side == EQ_SIDE_OUTPUT ? config.output_preset : config.input_preset;
}

// Channel c takes the level and mute of group g: the level only when it differs, the mute always.
void TakeGroupLevel(app_config_s& config, int side, int g, int c) {
  app_config_s& cfg = config;
  if (side == EQ_SIDE_OUTPUT) {
    if (cfg.OutputVolRef(c) != cfg.group_output_vol[g]) {
      cfg.OutputVolRef(c) = cfg.group_output_vol[g];
      DspSetOutputVolume(c, cfg.OutputVolRef(c));
    }
    cfg.OutputMuteRef(c) = cfg.group_output_mute[g];
    DspSetOutputMute(c, cfg.OutputMuteRef(c) != 0);
    return;
  }
  const int gain = cfg.group_input_gain[g];
  if (cfg.InputGainRef(c) != gain) {
    cfg.InputGainRef(c) = gain;
    if (c < kFirstTarvoChannel) {
      DspSetInputMute(c, true);
      platform::SleepMs(kRangeSwitchMuteMs);
      SetAnalogGainRange(unsigned(c), gain);
    }
    DspSetInputGain(c, gain);
  }
  cfg.InputMuteRef(c) = cfg.group_input_mute[g];
  DspSetInputMute(c, cfg.InputMuteRef(c) != 0);
}

// Channel c takes the EQ memory selection of group g; a Custom memory's bands are copied from the
// group's slot. The eight bands of the selected memory are then written.
void TakeGroupEq(app_config_s& config, int side, int g, int c) {
  int* selection = Selection(config, side);
  const int m = selection[kGroupSlot + g];
  peq_data_s* memory = config.EqMemory(side, m);
  if (memory == nullptr) return;  // a stored selection outside Flat/Custom1/Custom2
  selection[c] = m;
  peq_data_s& own = memory[c];
  if (m != 0) {
    const peq_data_s& group = memory[kGroupSlot + g];
    for (int b = 0; b < kEqBands; ++b) CopyEqBand(own, group, b);
  }
  for (int b = 0; b < kEqBands; ++b) {
    char name[kNameSize + 1] = {};
    std::memcpy(name, own.type_name[b], kNameSize);
    DspSetBiquad(uint32_t(side), uint32_t(c), uint8_t(b), own.frequency[b], ParseEqTypeName(name),
                 own.bypass[b], own.gain[b], own.quality[b]);
  }
}

std::string Opening(int side, int g) {
  if (side == EQ_SIDE_OUTPUT) {
    return std::string("[SUCCESS]Set output group ") + char('A' + g) + " include";
  }
  // The unit's own spelling.
  return "[SUCCESS]Set intput group " + std::to_string(g + 1) + " include";
}

// " analogue output 1,2 tarvo output 3 USB output left,right": the kinds that have members.
std::string MemberList(int side, const int* members) {
  const char* word = side == EQ_SIDE_OUTPUT ? " output " : " input ";
  std::string text;
  auto block = [&](const char* kind, int from, int to) {
    std::string numbers;
    for (int c = from; c < to; ++c) {
      if (members[c] != 1) continue;
      if (!numbers.empty()) numbers += ",";
      numbers += std::to_string(c - from + 1);
    }
    if (!numbers.empty()) text += std::string(" ") + kind + word + numbers;
  };
  block("analogue", 0, kFirstTarvoChannel);
  block("tarvo", kFirstTarvoChannel, kFirstUsbChannel);
  const bool left = members[kFirstUsbChannel] == 1, right = members[kFirstUsbChannel + 1] == 1;
  if (left || right) {
    text += std::string(" USB") + word + (left ? "left" : "") + (left && right ? "," : "") +
            (right ? "right" : "");
  }
  return text;
}

// Every member of group g leaves the other three groups of the side.
void MakeExclusive(app_config_s& config, int side, int g) {
  const int* members = Members(config, side, g);
  for (int other = 0; other < kGroups; ++other) {
    if (other == g) continue;
    int* list = Members(config, side, other);
    for (int c = 0; c < kDspChannels; ++c) {
      if (members[c] == 1) list[c] = 0;
    }
  }
}

}  // namespace

bool SetGroupMembers(app_config_s& config, int side, int g, const bool members[14],
                     std::string& lines) {
  if (!IsSide(side) || Members(config, side, g) == nullptr) return false;
  bool wanted[kDspChannels];
  for (int c = 0; c < kDspChannels; ++c) wanted[c] = members[c];
  // A marked channel of a linked pair brings its partner; the pair takes the group's level.
  for (int p = 0; p < kStereoPairs; ++p) {
    const int a = 2 * p, b = 2 * p + 1;
    if ((wanted[a] || wanted[b]) && LinkFlag(config, side, a)) {
      wanted[a] = wanted[b] = true;
      TakeGroupLevel(config, side, g, a);
      TakeGroupLevel(config, side, g, b);
    }
  }
  int* list = Members(config, side, g);
  for (int c = 0; c < kDspChannels; ++c) {
    list[c] = wanted[c] ? 1 : 0;
    if (wanted[c]) TakeGroupEq(config, side, g, c);
  }
  MakeExclusive(config, side, g);
  lines += Opening(side, g) + MemberList(side, list) + "\r\n";
  return true;
}

bool SetGroupMembership(app_config_s& config, int side, int g, int c, int flag,
                        std::string& lines) {
  if (!IsSide(side) || Members(config, side, g) == nullptr || c < 0 || c >= kDspChannels)
    return false;
  int* list = Members(config, side, g);
  const int partner = LinkFlag(config, side, c) ? (c ^ 1) : -1;
  const int first = partner >= 0 ? (c & ~1) : c;
  const int second = partner >= 0 ? (c | 1) : -1;
  list[first] = flag;
  if (second >= 0) list[second] = flag;
  if (flag == 1) {
    TakeGroupLevel(config, side, g, first);
    if (second >= 0) TakeGroupLevel(config, side, g, second);
    TakeGroupEq(config, side, g, c);
  }
  lines += Opening(side, g) + MemberList(side, list) + ".\r\n";
  MakeExclusive(config, side, g);
  return true;
}
