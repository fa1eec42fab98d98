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

void UnmuteIfMuted(app_config_s& config, int c) {
  int& mute = config.InputMuteRef(c);
  if (mute) {
    mute = 0;
    DspSetInputMute(c, false);
  }
}

}  // namespace

void RemoveInputFromGroups(app_config_s& config, int c) {
  if (!IsInput(c)) return;
  for (int g = 0; g < kGroups; ++g) config.InputGroupMembers(g)[c] = 0;
}

std::string InputChannelName(int c) {
  if (IsAnalogue(c)) return "analogue input CH" + std::to_string(c + 1);
  if (c >= kFirstTarvoChannel && c < kFirstUsbChannel)
    return "tarvo input CH" + std::to_string(c - kFirstTarvoChannel + 1);
  if (c == kFirstUsbChannel) return "USB input left";
  if (c == kFirstUsbChannel + 1) return "USB input right";
  return "input";
}

void ApplyInputGain(app_config_s& config, int c, int g, bool leave_groups, GainWrite when) {
  if (!IsInput(c)) return;
  const bool gain_last = when == GainWrite::kAfterUnmute;
  config.InputGainRef(c) = g;
  if (IsAnalogue(c)) {
    DspSetInputMute(c, true);
    platform::SleepMs(kRangeSwitchMuteMs);
    SetAnalogGainRange(unsigned(c), g);
    if (!gain_last) DspSetInputGain(c, g);
    if (leave_groups) RemoveInputFromGroups(config, c);
    config.InputMuteRef(c) = 0;
    DspSetInputMute(c, false);
  } else {
    if (!gain_last) DspSetInputGain(c, g);
    if (leave_groups) RemoveInputFromGroups(config, c);
    UnmuteIfMuted(config, c);
  }
  if (gain_last) DspSetInputGain(c, g);
}

void SetInputChannelGain(app_config_s& config, int c, int g, std::string& lines) {
  if (!IsInput(c)) return;
  auto [a, b] = LinkedChannels(config, EQ_SIDE_INPUT, c);
  if (b < 0) {
    ApplyInputGain(config, a, g, true);
    AppendGainLine(a, g, lines);
    return;
  }
  config.InputGainRef(a) = g;
  config.InputGainRef(b) = g;
  if (IsAnalogue(a)) {
    DspSetInputMute(a, true);
    DspSetInputMute(b, true);
    platform::SleepMs(kRangeSwitchMuteMs);
    for (int ch : {a, b}) {
      SetAnalogGainRange(unsigned(ch), g);
      DspSetInputGain(ch, g);
      RemoveInputFromGroups(config, ch);
    }
    for (int ch : {a, b}) {
      config.InputMuteRef(ch) = 0;
      DspSetInputMute(ch, false);
    }
  } else {
    for (int ch : {a, b}) {
      DspSetInputGain(ch, g);
      RemoveInputFromGroups(config, ch);
    }
    UnmuteIfMuted(config, a);
    UnmuteIfMuted(config, b);
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

void StepInputChannelGain(app_config_s& config, int c, const LevelStep& step, std::string& lines) {
  if (!IsInput(c)) return;
  auto [a, b] = LinkedChannels(config, EQ_SIDE_INPUT, c);
  for (int ch : {a, b}) {
    if (ch < 0) continue;
    const int g = step.Apply(config.InputGainRef(ch), kMinInputGain, kMaxInputGain);
    ApplyInputGain(config, ch, g, true);
    lines += step.Verb() + InputChannelName(ch) + " gain to " + std::to_string(g) + "dB.\r\n";
  }
}

void SetInputChannelMute(app_config_s& config, int c, int m, std::string& lines) {
  if (!IsInput(c)) return;
  auto [a, b] = LinkedChannels(config, EQ_SIDE_INPUT, c);
  for (int ch : {a, b}) {
    if (ch < 0) continue;
    config.InputMuteRef(ch) = m;
    DspSetInputMute(ch, m != 0);
    RemoveInputFromGroups(config, ch);
    AppendMuteLine(ch, m, lines);
  }
}

void SetInputGroupMute(app_config_s& config, int g, int m, std::string& lines) {
  int* members = config.InputGroupMembers(g);
  if (members == nullptr) return;
  config.group_input_mute[g] = m;
  lines += "[SUCCESS]Set input group " + std::to_string(g + 1) +
           (m ? " mute on.\r\n" : " mute off.\r\n");
  for (int k = 0; k < kDspChannels; ++k) {
    if (!members[k]) continue;
    config.InputMuteRef(k) = m;
    AppendMuteLine(k, m, lines);
    DspSetInputMute(k, m != 0);
  }
}

void SetAllInputsMute(app_config_s& config, int m, std::string& lines) {
  lines += m ? "[SUCCESS]Set all input mute on.\r\n" : "[SUCCESS]Set all input mute off.\r\n";
  for (int c = 0; c < kDspChannels; ++c) {
    config.InputMuteRef(c) = m;
    DspSetInputMute(c, m != 0);
  }
  for (int g = 0; g < kGroups; ++g) config.group_input_mute[g] = m;
}
