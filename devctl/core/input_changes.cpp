#include "devctl/core/input_changes.h"

#include "devctl/core/limits.h"
#include "devctl/core/links_groups.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/io_expander.h"
#include "platform/clock.h"

namespace {

bool IsInput(int c) { return c >= 0 && c < kDspChannels; }
bool IsAnalogue(int c) { return c >= 0 && c < kFirstTarvoChannel; }

// The analogue front end switches its gain range while the input is muted.
constexpr int kRangeSwitchMuteMs = 10;

void AppendGainLine(int c, int g, std::string& lines) {
  lines += "[SUCCESS]Set " + InputChannelName(c) + " gain to " + std::to_string(g) + "dB.\r\n";
}

void AppendMuteLine(int c, int m, std::string& lines) {
  lines += "[SUCCESS]Set " + InputChannelName(c) + (m ? " mute on.\r\n" : " mute off.\r\n");
}

void UnmuteIfMuted(int c) {
  int& mute = g_unit.config.InputMuteRef(c);
  if (mute) {
    mute = 0;
    DspSetInputMute(c, false);
  }
}

}  // namespace

void RemoveInputFromGroups(int c) {
  if (!IsInput(c)) return;
  for (int g = 0; g < kGroups; ++g) g_unit.config.InputGroupMembers(g)[c] = 0;
}

std::string InputChannelName(int c) {
  if (IsAnalogue(c)) return "analogue input CH" + std::to_string(c + 1);
  if (c >= kFirstTarvoChannel && c < kFirstUsbChannel)
    return "tarvo input CH" + std::to_string(c - kFirstTarvoChannel + 1);
  if (c == kFirstUsbChannel) return "USB input left";
  if (c == kFirstUsbChannel + 1) return "USB input right";
  return "input";
}

void ApplyInputGain(int c, int g, bool leave_groups, GainWrite when) {
  if (!IsInput(c)) return;
  const bool gain_last = when == GainWrite::kAfterUnmute;
  g_unit.config.InputGainRef(c) = g;
  if (IsAnalogue(c)) {
    DspSetInputMute(c, true);
    platform::SleepMs(kRangeSwitchMuteMs);
    SetAnalogGainRange(unsigned(c), g);
    if (!gain_last) DspSetInputGain(c, g);
    if (leave_groups) RemoveInputFromGroups(c);
    g_unit.config.InputMuteRef(c) = 0;
    DspSetInputMute(c, false);
  } else {
    if (!gain_last) DspSetInputGain(c, g);
    if (leave_groups) RemoveInputFromGroups(c);
    UnmuteIfMuted(c);
  }
  if (gain_last) DspSetInputGain(c, g);
}

void SetInputChannelGain(int c, int g, std::string& lines) {
  if (!IsInput(c)) return;
  auto [a, b] = LinkedChannels(g_unit.config, EQ_SIDE_INPUT, c);
  if (b < 0) {
    ApplyInputGain(a, g, true);
    AppendGainLine(a, g, lines);
    return;
  }
  g_unit.config.InputGainRef(a) = g;
  g_unit.config.InputGainRef(b) = g;
  if (IsAnalogue(a)) {
    DspSetInputMute(a, true);
    DspSetInputMute(b, true);
    platform::SleepMs(kRangeSwitchMuteMs);
    for (int ch : {a, b}) {
      SetAnalogGainRange(unsigned(ch), g);
      DspSetInputGain(ch, g);
      RemoveInputFromGroups(ch);
    }
    for (int ch : {a, b}) {
      g_unit.config.InputMuteRef(ch) = 0;
      DspSetInputMute(ch, false);
    }
  } else {
    for (int ch : {a, b}) {
      DspSetInputGain(ch, g);
      RemoveInputFromGroups(ch);
    }
    UnmuteIfMuted(a);
    UnmuteIfMuted(b);
  }
  if (a == kFirstUsbChannel) {
    // The USB pair has its own pair of texts (the second one's word order is the unit's own).
    lines += "[SUCCESS]Set USB input left gain to " + std::to_string(g) + "dB.\r\n";
    lines += "[SUCCESS]Set USB right input gain to " + std::to_string(g) + "dB.\r\n";
  } else {
    AppendGainLine(a, g, lines);
    AppendGainLine(b, g, lines);
  }
}

void StepInputChannelGain(int c, const LevelStep& step, std::string& lines) {
  if (!IsInput(c)) return;
  auto [a, b] = LinkedChannels(g_unit.config, EQ_SIDE_INPUT, c);
  for (int ch : {a, b}) {
    if (ch < 0) continue;
    const int g = step.Apply(g_unit.config.InputGainRef(ch), kMinInputGain, kMaxInputGain);
    ApplyInputGain(ch, g, true);
    lines += step.Verb() + InputChannelName(ch) + " gain to " + std::to_string(g) + "dB.\r\n";
  }
}

void SetInputChannelMute(int c, int m, std::string& lines) {
  if (!IsInput(c)) return;
  auto [a, b] = LinkedChannels(g_unit.config, EQ_SIDE_INPUT, c);
  for (int ch : {a, b}) {
    if (ch < 0) continue;
    g_unit.config.InputMuteRef(ch) = m;
    DspSetInputMute(ch, m != 0);
    RemoveInputFromGroups(ch);
    AppendMuteLine(ch, m, lines);
  }
}

void SetInputGroupMute(int g, int m, std::string& lines) {
  int* members = g_unit.config.InputGroupMembers(g);
  if (members == nullptr) return;
  g_unit.config.group_input_mute[g] = m;
  lines += "[SUCCESS]Set input group " + std::to_string(g + 1) +
           (m ? " mute on.\r\n" : " mute off.\r\n");
  for (int k = 0; k < kDspChannels; ++k) {
    if (!members[k]) continue;
    g_unit.config.InputMuteRef(k) = m;
    AppendMuteLine(k, m, lines);
    DspSetInputMute(k, m != 0);
  }
}

void SetAllInputsMute(int m, std::string& lines) {
  lines += m ? "[SUCCESS]Set all input mute on.\r\n" : "[SUCCESS]Set all input mute off.\r\n";
  for (int c = 0; c < kDspChannels; ++c) {
    g_unit.config.InputMuteRef(c) = m;
    DspSetInputMute(c, m != 0);
  }
  for (int g = 0; g < kGroups; ++g) g_unit.config.group_input_mute[g] = m;
}
