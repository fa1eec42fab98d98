#include "devctl/core/eq_changes.h"

#include <cstdio>
#include <vector>

#include "devctl/core/config_defaults.h"
#include "devctl/core/input_changes.h"
#include "devctl/core/links_groups.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_biquad.h"

namespace {

constexpr int kFlat = 0;
constexpr const char* kMemoryNames[kEqMemories] = {"Flat", "Custom1", "Custom2"};
constexpr const char* kReplyTypeNames[] = {"parametric", "lowpass", "highpass", "low shelf",
                                           "high shelf"};
constexpr char kFlatTail[] =
    " equalizer is flat mode now, setting invalid. (This error is if EQ is set to flat and not "
    "custom mode)\r\n";

bool IsChannel(int s) { return s >= 0 && s < kDspChannels; }
bool IsGroup(int s) { return s >= kDspChannels && s < kChannelSlots; }
bool IsCustom(int m) { return m == 1 || m == 2; }
bool IsMemory(int m) { return m >= 0 && m < kEqMemories; }
bool IsAnalogue(int s) { return s >= 0 && s < kFirstTarvoChannel; }
bool IsUsb(int s) { return s == kFirstUsbChannel || s == kFirstUsbChannel + 1; }
// Channel number within its kind: analogue 1-4, Tarvo 1-8.
int KindNumber(int s) { return IsAnalogue(s) ? s + 1 : s - kFirstTarvoChannel + 1; }

std::string Side(int side) { return side == EQ_SIDE_OUTPUT ? "output" : "input"; }

int* Selection(app_config_s& config, int side) {
  return side == EQ_SIDE_OUTPUT ? config.output_preset : config.input_preset;
}
int* LockFlags(app_config_s& config, int side) {
  return side == EQ_SIDE_OUTPUT ? config.output_stereo : config.input_stereo;
}
int* GroupMembers(app_config_s& config, int side, int g) {
  return side == EQ_SIDE_OUTPUT ? config.OutputGroupMembers(g) : config.InputGroupMembers(g);
}
peq_data_s& Bands(app_config_s& config, int side, int m, int s) {
  return config.EqMemory(side, m)[s];
}

bool IsLocked(app_config_s& config, int side, int s) {
  if (!IsChannel(s)) return false;
  const int e = s & ~1;
  return LockFlags(config, side)[e] != 0 || LockFlags(config, side)[e + 1] != 0;
}

// Takes channel c out of every group of its side; true when it was in one.
bool LeaveGroups(app_config_s& config, int side, int c) {
  bool member = false;
  for (int g = 0; g < kChannelSlots - kDspChannels; ++g) {
    const int* flags = GroupMembers(config, side, g);
    member = member || (flags != nullptr && flags[c] != 0);
  }
  if (side == EQ_SIDE_OUTPUT) {
    RemoveOutputFromGroups(config, c);
  } else {
    RemoveInputFromGroups(config, c);
  }
  return member;
}

std::vector<int> Members(app_config_s& config, int side, int group_slot) {
  std::vector<int> members;
  const int* flags = GroupMembers(config, side, group_slot - kDspChannels);
  if (flags == nullptr) return members;
  for (int c = 0; c < kDspChannels; ++c) {
    if (flags[c]) members.push_back(c);
  }
  return members;
}

std::vector<int> ChosenBands(int band) {
  if (band != kAllEqBands) return {band};
  std::vector<int> bands;
  for (int b = 0; b < kEqBands; ++b) bands.push_back(b);
  return bands;
}

// Sends band b of memory m of channel c as stored.
void SendBand(app_config_s& config, int side, int m, int c, int b) {
  if (!IsChannel(c) || !IsMemory(m)) return;
  const peq_data_s& bands = Bands(config, side, m, c);
  DspSetBiquad(uint32_t(side), uint32_t(c), uint8_t(b), bands.frequency[b],
               ParseEqTypeName(bands.type_name[b]), bands.bypass[b], bands.gain[b],
               bands.quality[b]);
}

void LoadMemory(app_config_s& config, int side, int m, int c) {
  for (int b = 0; b < kEqBands; ++b) SendBand(config, side, m, c, b);
}

// The second channel o of an EQ-locked pair takes the selection of the first, e. A selection that
// changes puts the whole newly selected memory into the DSP, so the pair plays what the record
// says it plays.
// True when the selection changed.
bool FollowPairSelection(app_config_s& config, int side, int e, int o) {
  int* selection = Selection(config, side);
  if (selection[o] == selection[e]) return false;
  selection[o] = selection[e];
  LoadMemory(config, side, selection[o], o);
  return true;
}

void CopyBand(app_config_s& config, int side, int m, int from, int to, int b) {
  CopyEqBand(Bands(config, side, m, to), Bands(config, side, m, from), b);
}

// "analogue input CH1", "tarvo output CH8", "USB input left".
std::string ChannelLabel(int side, int c) {
  if (IsUsb(c)) return "USB " + Side(side) + (c == kFirstUsbChannel ? " left" : " right");
  return (IsAnalogue(c) ? "analogue " : "tarvo ") + Side(side) + " CH" +
         std::to_string(KindNumber(c));
}

// "analogue input CH1/CH2", "USB output left/right" (e the pair's first slot).
std::string PairLabel(int side, int e) {
  if (IsUsb(e)) return "USB " + Side(side) + " left/right";
  return (IsAnalogue(e) ? "analogue " : "tarvo ") + Side(side) + " CH" +
         std::to_string(KindNumber(e)) + "/CH" + std::to_string(KindNumber(e) + 1);
}

// "input group 2" / "output group B"; letters: both sides by letter.
std::string GroupLabel(int side, int group_slot, bool letters) {
  const int g = group_slot - kDspChannels;
  std::string name =
      letters || side == EQ_SIDE_OUTPUT ? std::string(1, char('A' + g)) : std::to_string(g + 1);
  return Side(side) + " group " + name;
}

// The refusal line of a group member on Flat.
std::string FlatMemberLine(int side, int c, const EqRules& rules) {
  std::string label;
  if (IsUsb(c)) {
    label = "USB " + Side(side) + (c == kFirstUsbChannel ? " left" : " right");
  } else if (IsAnalogue(c)) {
    label = side == EQ_SIDE_OUTPUT ? "Analogue output" : rules.flat_analogue_input;
    label += " CH" + std::to_string(KindNumber(c));
  } else {
    label = "Tarvo " + Side(side) + " CH" + std::to_string(KindNumber(c));
  }
  return "[ERROR]" + label + kFlatTail;
}

std::string FormatG(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", double(value));
  return text;
}

// ---- band edits ----

void WriteBand(app_config_s& config, int side, int m, int s, int b, const EqBandValues& v) {
  peq_data_s& bands = Bands(config, side, m, s);
  bands.gain[b] = v.gain;
  bands.frequency[b] = v.frequency;
  bands.quality[b] = v.quality;
  SetNameField(bands.type_name[b], v.type_name.c_str());
}

void WriteAndSend(app_config_s& config, int side, int m, int s, const std::vector<int>& bands,
                  const EqBandValues& v) {
  for (int b : bands) {
    WriteBand(config, side, m, s, b, v);
    SendBand(config, side, m, s, b);
  }
}

std::string BandTail(int band, const EqBandValues& v) {
  std::string tail =
      band == kAllEqBands ? " all EQ to " : " EQ " + std::to_string(band + 1) + " to ";
  const bool known =
      v.type >= 0 && v.type < int(sizeof kReplyTypeNames / sizeof kReplyTypeNames[0]);
  tail += known ? kReplyTypeNames[v.type] : "";
  tail += " with FRQ " + std::to_string(v.frequency) + "Hz gain " + FormatG(v.gain) + "dB Q " +
          FormatG(v.quality) + ".\r\n";
  return tail;
}

std::string FlatChannelLine(int side) {
  return std::string(side == EQ_SIDE_OUTPUT ? "[ERROR]Output" : "[ERROR]Input") + kFlatTail;
}

// ---- band switches ----

void SwitchBand(app_config_s& config, int side, int m, int s, int b, int on) {
  Bands(config, side, m, s).bypass[b] = on;
  SendBand(config, side, m, s, b);
}

std::string SwitchLabel(int side, int s, bool pair, const EqRules& rules) {
  if (rules.usb_switch_side_last && IsUsb(s)) {
    return std::string("USB ") +
           (pair                    ? "left/right"
            : s == kFirstUsbChannel ? "left"
                                    : "right") +
           " " + Side(side);
  }
  return pair ? PairLabel(side, s) : ChannelLabel(side, s);
}

std::string SwitchTail(int band, int on) {
  return (band == kAllEqBands ? std::string(" all EQ ") : " EQ " + std::to_string(band + 1) + " ") +
         (on ? "on" : "off") + ".\r\n";
}

// ---- EQ locks ----

std::string LockLine(int side, int s, bool locked, const EqRules& rules) {
  if (!locked) return rules.unlocked;
  return side == EQ_SIDE_OUTPUT && IsChannel(s) && !IsUsb(s) ? rules.locked_output_pair
                                                             : " PEQ locked.\r\n";
}

// Locks (value 1) or unlocks (0) the pair of e; locking gives the second channel the first's
// bands as rules.pair_lock says. one_pair: the pair alone is addressed (not every pair at once).
void LockPair(app_config_s& config, int side, int e, int value, bool one_pair,
              const EqRules& rules) {
  const int o = e + 1;
  LockFlags(config, side)[e] = value;
  LockFlags(config, side)[o] = value;
  if (value == 0) return;
  int* selection = Selection(config, side);
  if (rules.pair_lock == PairLock::kFollowFirst) selection[o] = selection[e];
  const int m = selection[o];
  if (!IsMemory(m)) return;
  const bool copy = IsCustom(m) || (one_pair && rules.pair_lock == PairLock::kCopyIntoOwnMemory);
  for (int b = 0; b < kEqBands; ++b) {
    if (copy) CopyBand(config, side, m, e, o, b);
    SendBand(config, side, m, o, b);
  }
}

// ---- clear and reset ----

void ResetAndSend(app_config_s& config, int side, int m, int s, int b) {
  ResetEqBand(&Bands(config, side, m, s), b);
  SendBand(config, side, m, s, b);
}

std::string ClearLine(int side, int s, bool pair) {
  if (pair) {
    if (IsUsb(s)) return "[SUCCESS]Set USB left/right " + Side(side) + " EQ clear.\r\n";
    return "[SUCCESS]Set " + PairLabel(side, s) + " EQ clear.\r\n";
  }
  // Single channels are input channels only; the stored texts differ per kind.
  if (IsUsb(s)) return "[SUCCESS]Set " + ChannelLabel(side, s) + " EQ clear.\r\n";
  if (IsAnalogue(s))
    return "[SUCCESS]Set analogue CH" + std::to_string(KindNumber(s)) + " clear.\r\n";
  return "[SUCCESS]Set tarvo CH" + std::to_string(KindNumber(s)) + "clear.\r\n";
}

}  // namespace

bool SetEqBand(app_config_s& config, int side, int slot, int band, const EqBandValues& values,
               int memory, const EqRules& rules, std::string& lines) {
  if (band != kAllEqBands && (band < 0 || band >= kEqBands)) return false;
  const std::vector<int> bands = ChosenBands(band);
  const std::string tail = BandTail(band, values);
  int* selection = Selection(config, side);

  if (slot == kAllEqSlots) {
    bool any_custom = false;
    for (int s = 0; s < kChannelSlots; ++s) any_custom = any_custom || selection[s] != kFlat;
    if (!any_custom) {
      // The unit's own text, for both sides.
      lines +=
          "[ERROR]All 0utput equalizer is flat mode now, setting invalid. (This error is if "
          "EQ is set to flat and not custom mode)\r\n";
      return false;
    }
    lines += "[SUCCESS]Set all " + Side(side) + tail;
    for (int s = 0; s < kChannelSlots; ++s) {
      if (IsCustom(selection[s])) WriteAndSend(config, side, selection[s], s, bands, values);
    }
    return true;
  }

  if (IsGroup(slot)) {
    if (IsCustom(selection[slot])) {
      for (int b : bands) WriteBand(config, side, selection[slot], slot, b, values);
    }
    lines += "[SUCCESS]Set " + GroupLabel(side, slot, false) + tail;
    for (int c : Members(config, side, slot)) {
      if (selection[c] == kFlat) {
        lines += FlatMemberLine(side, c, rules);
        continue;
      }
      if (IsCustom(selection[c])) WriteAndSend(config, side, selection[c], c, bands, values);
      lines += "[SUCCESS]Set " + ChannelLabel(side, c) + tail;
    }
    return true;
  }

  if (!IsChannel(slot)) return false;
  if (!IsLocked(config, side, slot)) {
    const bool left = LeaveGroups(config, side, slot);
    const int m = memory == kSelectedEqMemory ? selection[slot] : memory;
    if (m == kFlat && rules.refuses_flat_edit) {
      lines += FlatChannelLine(side);
      return left;
    }
    if (IsCustom(m)) WriteAndSend(config, side, m, slot, bands, values);
    lines += "[SUCCESS]Set " + ChannelLabel(side, slot) + tail;
    return true;
  }

  const int e = slot & ~1, o = e + 1;
  bool changed = LeaveGroups(config, side, e);
  changed = LeaveGroups(config, side, o) || changed;
  changed = FollowPairSelection(config, side, e, o) || changed;
  const int m = selection[e];
  if (m == kFlat && rules.refuses_flat_edit) {
    lines += FlatChannelLine(side);
    return changed;
  }
  if (IsCustom(m)) {
    for (int b : bands) {
      WriteAndSend(config, side, m, e, {b}, values);
      WriteAndSend(config, side, m, o, {b}, values);
    }
  }
  lines += "[SUCCESS]Set " + PairLabel(side, e) + tail;
  return true;
}

void SelectEqMemory(app_config_s& config, int side, int slot, int memory, const EqRules& rules,
                    std::string& lines) {
  if (!IsMemory(memory)) return;
  int* selection = Selection(config, side);
  const std::string to = std::string(" PEQ to ") + kMemoryNames[memory] + ".\r\n";

  if (slot == kAllEqSlots) {
    lines += "[SUCCESS]Set all " + Side(side) + to;
    for (int s = 0; s < kChannelSlots; ++s) {
      selection[s] = memory;
      if (IsChannel(s)) LoadMemory(config, side, memory, s);
    }
    return;
  }
  if (IsGroup(slot)) {
    lines += "[SUCCESS]Set " + GroupLabel(side, slot, true) + to;
    selection[slot] = memory;
    for (int c : Members(config, side, slot)) {
      selection[c] = memory;
      LoadMemory(config, side, memory, c);
      lines += "[SUCCESS]Set " + ChannelLabel(side, c) + to;
    }
    return;
  }
  if (!IsChannel(slot)) return;
  if (!IsLocked(config, side, slot)) {
    selection[slot] = memory;
    LeaveGroups(config, side, slot);
    LoadMemory(config, side, memory, slot);
    lines += "[SUCCESS]Set " + ChannelLabel(side, slot) + to;
    return;
  }
  const int e = slot & ~1, o = e + 1;
  if (rules.pair_load == PairLoad::kChannelByChannel) {
    for (int c : {e, o}) {
      selection[c] = memory;
      LoadMemory(config, side, memory, c);
      lines += "[SUCCESS]Set " + ChannelLabel(side, c) + to;
      LeaveGroups(config, side, c);
    }
    return;
  }
  selection[e] = memory;
  selection[o] = memory;
  LeaveGroups(config, side, e);
  LeaveGroups(config, side, o);
  for (int b = 0; b < kEqBands; ++b) {
    SendBand(config, side, memory, e, b);
    SendBand(config, side, memory, o, b);
  }
  // The USB pair's line has no slash (the unit's own text).
  lines +=
      "[SUCCESS]Set " + (IsUsb(e) ? "USB " + Side(side) + " left right" : PairLabel(side, e)) + to;
}

void SetEqLock(app_config_s& config, int side, int slot, bool locked, const EqRules& rules,
               std::string& lines) {
  const int value = locked ? 1 : 0;
  if (slot == kAllEqSlots) {
    lines += "[SUCCESS]Set all " + Side(side) + LockLine(side, slot, locked, rules);
    for (int e = 0; e < kDspChannels; e += 2) LockPair(config, side, e, value, false, rules);
    return;
  }
  if (IsGroup(slot)) {
    LockFlags(config, side)[slot] = value;
    lines += "[SUCCESS]Set " + GroupLabel(side, slot, false) + LockLine(side, slot, locked, rules);
    return;
  }
  if (!IsChannel(slot)) return;
  const int e = slot & ~1;
  const bool by_channel = IsUsb(e) && rules.usb_lock_by_channel;
  lines += "[SUCCESS]Set " + (by_channel ? ChannelLabel(side, slot) : PairLabel(side, e)) +
           LockLine(side, e, locked, rules);
  LockPair(config, side, e, value, true, rules);
}

void SetEqBandSwitch(app_config_s& config, int side, int slot, int band, int on,
                     const EqRules& rules, std::string& lines) {
  if (band != kAllEqBands && (band < 0 || band >= kEqBands)) return;
  const std::vector<int> bands = ChosenBands(band);
  const std::string tail = SwitchTail(band, on);
  int* selection = Selection(config, side);
  auto switches = [&](int m) { return rules.switches_flat ? IsMemory(m) : IsCustom(m); };

  if (slot == kAllEqSlots) {
    lines += "[SUCCESS]Set all " + Side(side) + tail;
    for (int s = 0; s < kChannelSlots; ++s) {
      for (int b : bands) {
        if (!switches(selection[s])) continue;
        Bands(config, side, selection[s], s).bypass[b] = on;
        SendBand(config, side, selection[s], s, b);
      }
    }
    return;
  }
  if (IsGroup(slot)) {
    if (rules.switches_whole_group && switches(selection[slot])) {
      for (int b : bands) Bands(config, side, selection[slot], slot).bypass[b] = on;
    }
    lines += "[SUCCESS]Set " + GroupLabel(side, slot, false) + tail;
    for (int c : Members(config, side, slot)) {
      const int m = selection[c];
      if (m == kFlat && !switches(m)) {
        lines += FlatMemberLine(side, c, rules);
        continue;
      }
      if (switches(m)) {
        for (int b : bands) SwitchBand(config, side, m, c, b, on);
      }
      if (rules.switches_whole_group) lines += "[SUCCESS]Set " + ChannelLabel(side, c) + tail;
    }
    return;
  }
  if (!IsChannel(slot)) return;
  if (!IsLocked(config, side, slot)) {
    lines += "[SUCCESS]Set " + SwitchLabel(side, slot, false, rules) + tail;
    LeaveGroups(config, side, slot);
    if (switches(selection[slot])) {
      for (int b : bands) SwitchBand(config, side, selection[slot], slot, b, on);
    }
    return;
  }
  const int e = slot & ~1, o = e + 1;
  lines += "[SUCCESS]Set " + SwitchLabel(side, e, true, rules) + tail;
  LeaveGroups(config, side, e);
  LeaveGroups(config, side, o);
  FollowPairSelection(config, side, e, o);
  const int m = selection[e];
  if (!switches(m)) return;
  for (int b : bands) {
    SwitchBand(config, side, m, e, b, on);
    SwitchBand(config, side, m, o, b, on);
  }
}

void ClearEqMemory(app_config_s& config, int side, int slot, std::string& lines) {
  int* selection = Selection(config, side);
  if (slot == kAllEqSlots) {
    lines += "[SUCCESS]Set all " + Side(side) + " EQ clear.\r\n";
    for (int s = 0; s < kChannelSlots; ++s) {
      const int m = selection[s];
      if (!IsMemory(m)) continue;
      for (int b = 0; b < kEqBands; ++b) {
        if (IsCustom(m)) ResetEqBand(&Bands(config, side, m, s), b);
        SendBand(config, side, m, s, b);
      }
    }
    return;
  }
  if (IsGroup(slot)) {
    lines += "[SUCCESS]Set " + GroupLabel(side, slot, false) + " EQ clear.\r\n";
    if (IsCustom(selection[slot])) {
      for (int b = 0; b < kEqBands; ++b)
        ResetEqBand(&Bands(config, side, selection[slot], slot), b);
    }
    for (int c : Members(config, side, slot)) {
      if (!IsCustom(selection[c])) continue;
      for (int b = 0; b < kEqBands; ++b) ResetAndSend(config, side, selection[c], c, b);
    }
    return;
  }
  if (!IsChannel(slot)) return;
  const int e = slot & ~1, o = e + 1;
  // An output channel is always cleared as a pair, which thereby becomes EQ-locked.
  if (side == EQ_SIDE_OUTPUT) {
    LockFlags(config, side)[e] = 1;
    LockFlags(config, side)[o] = 1;
  }
  if (!IsLocked(config, side, slot)) {
    lines += ClearLine(side, slot, false);
    LeaveGroups(config, side, slot);
    if (!IsCustom(selection[slot])) return;
    for (int b = 0; b < kEqBands; ++b) ResetAndSend(config, side, selection[slot], slot, b);
    return;
  }
  lines += ClearLine(side, e, true);
  LeaveGroups(config, side, e);
  LeaveGroups(config, side, o);
  FollowPairSelection(config, side, e, o);
  const int m = selection[e];
  if (!IsCustom(m)) return;
  for (int b = 0; b < kEqBands; ++b) {
    ResetAndSend(config, side, m, e, b);
    ResetAndSend(config, side, m, o, b);
  }
}

void ResetEqMemory(app_config_s& config, int side, int slot, int memory, std::string& lines) {
  if (!IsMemory(memory)) return;
  int* selection = Selection(config, side);
  const std::string name = kMemoryNames[memory];
  // Selecting a memory makes the channel play it: a custom memory is reset and sent, Flat loaded.
  auto reset_channel = [&](int c) {
    selection[c] = memory;
    for (int b = 0; b < kEqBands; ++b) {
      if (IsCustom(memory)) {
        ResetAndSend(config, side, memory, c, b);
      } else {
        SendBand(config, side, memory, c, b);
      }
    }
  };
  auto channel_line = [&](int c) {
    lines += "[SUCCESS]Set " + ChannelLabel(side, c) + " PEQ " + name + " to reset.\r\n";
  };

  if (IsGroup(slot)) {
    selection[slot] = memory;
    if (IsCustom(memory)) {
      for (int b = 0; b < kEqBands; ++b) ResetEqBand(&Bands(config, side, memory, slot), b);
    }
    // The output group line names the memory "GEQ" (the unit's own text).
    lines += "[SUCCESS]Set " + GroupLabel(side, slot, false) +
             (side == EQ_SIDE_OUTPUT ? " GEQ " : " PEQ ") + name + " to reset.\r\n";
    for (int c : Members(config, side, slot)) {
      reset_channel(c);
      channel_line(c);
    }
    return;
  }
  if (!IsChannel(slot)) return;
  std::vector<int> targets = {slot};
  if (IsLocked(config, side, slot)) targets = {slot & ~1, (slot & ~1) + 1};
  for (int c : targets) {
    LeaveGroups(config, side, c);
    reset_channel(c);
    channel_line(c);
  }
}

void SelectEqEditorSlot(app_config_s& config, int side, int slot) {
  if (slot < 0 || slot >= kChannelSlots) return;
  if (side == EQ_SIDE_OUTPUT) {
    config.output_geq_chn = slot;
  } else {
    config.input_geq_chn = slot;
  }
}
