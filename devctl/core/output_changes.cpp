#include "devctl/core/output_changes.h"

#include <functional>

#include "devctl/core/config_lock.h"
#include "devctl/core/limits.h"
#include "devctl/core/links_groups.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "platform/clock.h"

namespace {

constexpr int kFadeStepMs = 50;
constexpr int kFadeSteps = 10;

bool IsOutput(int c) { return c >= 0 && c < kDspChannels; }
bool IsGroup(int g) { return g >= 0 && g < kGroups; }

char GroupLetter(int g) { return static_cast<char>('A' + g); }

void AppendVolumeLine(const std::string& label, int v, std::string& lines) {
  lines += "[SUCCESS]Set " + label + " volume to " + std::to_string(v) + ".\r\n";
}

std::string OnOff(int m) { return m ? " mute on" : " mute off"; }

// Stores mute m of output c and writes it to the DSP.
void ApplyOutputMute(app_config_s& config, int c, int m) {
  config.OutputMuteRef(c) = m;
  DspSetOutputMute(c, m != 0);
}

// Number within the kind for the reply lines: "CH3", "CH8", "left".
std::string ChannelWord(int number) {
  if (number <= kAnalogueChannels) return "CH" + std::to_string(number);
  if (number <= kFirstUsbChannel) return "CH" + std::to_string(number - kAnalogueChannels);
  return number == kFirstUsbChannel + 1 ? "left" : "right";
}

const char* KindWord(int number) {
  if (number <= kAnalogueChannels) return "analogue";
  if (number <= kFirstUsbChannel) return "tarvo";
  return "USB";
}

// "CH1/CH2", "CH5/CH6" (Tarvo numbers), "left/right" for the pair holding number.
std::string PairWord(int number) {
  const int first = ((number - 1) & ~1) + 1;
  if (first > kFirstUsbChannel) return "left/right";
  return ChannelWord(first) + "/" + ChannelWord(first + 1);
}

// Stores one routing entry and writes the DSP selector (output number 1-14).
void Route(app_config_s& config, int out, int src) {
  config.control[out - 1] = src;
  DspSetOutputSource(out - 1, src);
}

// Output pair of out takes the source pair of src, odd members first.
void RoutePair(app_config_s& config, int out, int src) {
  const int out_first = ((out - 1) & ~1) + 1;
  const int src_first = ((src - 1) & ~1) + 1;
  Route(config, out_first, src_first);
  Route(config, out_first + 1, src_first + 1);
}

std::string SourceText(int src, bool pair) {
  if (src == 0) return "none";
  return std::string(KindWord(src)) + " input " + (pair ? PairWord(src) : ChannelWord(src));
}

void AppendRouteLine(int out, int src, bool pair, std::string& lines) {
  lines += std::string("[SUCCESS]Set output ") + KindWord(out) + " " +
           (pair ? PairWord(out) : ChannelWord(out)) + " from " + SourceText(src, pair) + ".\r\n";
}

}  // namespace

std::string OutputChannelName(int c) {
  if (!IsOutput(c)) return "output";
  if (c < kFirstUsbChannel) return std::string(KindWord(c + 1)) + " output " + ChannelWord(c + 1);
  return "USB output " + ChannelWord(c + 1);
}

void ApplyOutputVolume(app_config_s& config, int c, int v, VolumeWrite order, bool leave_groups) {
  if (!IsOutput(c)) return;
  config.OutputVolRef(c) = v;
  int& mute = config.OutputMuteRef(c);
  const int new_mute = v == 0 ? 1 : 0;
  const bool mute_changes = mute != new_mute;
  mute = new_mute;
  if (order == VolumeWrite::kMuteFirst && mute_changes) DspSetOutputMute(c, new_mute != 0);
  DspSetOutputVolume(c, v);
  if (leave_groups) RemoveOutputFromGroups(config, c);
  if (order == VolumeWrite::kVolumeFirst && mute_changes) DspSetOutputMute(c, new_mute != 0);
}

void ApplyOutputGroupVolume(app_config_s& config, int g, int v) {
  if (!IsGroup(g)) return;
  config.group_output_vol[g] = v;
  config.group_output_mute[g] = v == 0 ? 1 : 0;
}

void SetOutputChannelVolume(app_config_s& config, int c, int v, std::string& lines) {
  if (!IsOutput(c)) return;
  auto [a, b] = LinkedChannels(config, EQ_SIDE_OUTPUT, c);
  for (int ch : {a, b}) {
    if (ch < 0) continue;
    ApplyOutputVolume(config, ch, v, VolumeWrite::kVolumeFirst, true);
    AppendVolumeLine(OutputChannelName(ch), v, lines);
  }
}

void SetOutputGroupVolume(app_config_s& config, int g, int v, VolumeWrite member_order,
                          std::string& lines) {
  const int* members = config.OutputGroupMembers(g);
  if (members == nullptr) return;
  ApplyOutputGroupVolume(config, g, v);
  AppendVolumeLine(std::string("output group ") + GroupLetter(g), v, lines);
  for (int c = 0; c < kDspChannels; ++c) {
    if (members[c] != 1) continue;
    ApplyOutputVolume(config, c, v, member_order, false);
    AppendVolumeLine(OutputChannelName(c), v, lines);
  }
}

void SetAllOutputsVolume(app_config_s& config, int v, std::string& lines) {
  lines += "[SUCCESS]Set all output volume to " + std::to_string(v) + ".\r\n";
  for (int c = 0; c < kDspChannels; ++c)
    ApplyOutputVolume(config, c, v, VolumeWrite::kVolumeFirst, false);
  for (int g = 0; g < kGroups; ++g) ApplyOutputGroupVolume(config, g, v);
}

namespace {

int StepVolume(const LevelStep& step, int old) { return step.Apply(old, kMinVolume, kMaxVolume); }

void AppendStepLine(const LevelStep& step, const std::string& label, int v, std::string& lines) {
  lines += step.Verb() + label + " volume to " + std::to_string(v) + ".\r\n";
}

}  // namespace

void StepOutputChannelVolume(app_config_s& config, int c, const LevelStep& step,
                             std::string& lines) {
  if (!IsOutput(c)) return;
  // Lowering writes a channel's changed mute before its volume, raising after.
  const VolumeWrite order =
      step.direction == LevelStep::kUp ? VolumeWrite::kVolumeFirst : VolumeWrite::kMuteFirst;
  auto [a, b] = LinkedChannels(config, EQ_SIDE_OUTPUT, c);
  for (int ch : {a, b}) {
    if (ch < 0) continue;
    const int v = StepVolume(step, config.OutputVolRef(ch));
    ApplyOutputVolume(config, ch, v, order, true);
    AppendStepLine(step, OutputChannelName(ch), v, lines);
  }
}

void StepOutputGroupVolume(app_config_s& config, int g, const LevelStep& step, std::string& lines) {
  const int* members = config.OutputGroupMembers(g);
  if (members == nullptr) return;
  const int v = StepVolume(step, config.group_output_vol[g]);
  ApplyOutputGroupVolume(config, g, v);
  AppendStepLine(step, std::string("output group ") + GroupLetter(g), v, lines);
  for (int c = 0; c < kDspChannels; ++c) {
    if (members[c] != 1) continue;
    ApplyOutputVolume(config, c, v, VolumeWrite::kVolumeFirst, false);
    AppendStepLine(step, OutputChannelName(c), v, lines);
  }
}

void StepAllOutputsVolume(app_config_s& config, const LevelStep& step, std::string& lines) {
  for (int c = 0; c < kDspChannels; ++c) {
    const int v = StepVolume(step, config.OutputVolRef(c));
    ApplyOutputVolume(config, c, v, VolumeWrite::kVolumeFirst, false);
    // In this listing the USB outputs are numbered CH1 and CH2.
    const std::string label = c >= kFirstUsbChannel
                                  ? "USB output CH" + std::to_string(c - kFirstUsbChannel + 1)
                                  : OutputChannelName(c);
    AppendStepLine(step, label, v, lines);
  }
  for (int g = 0; g < kGroups; ++g) {
    const int v = StepVolume(step, config.group_output_vol[g]);
    ApplyOutputGroupVolume(config, g, v);
    AppendStepLine(step, std::string("output group ") + GroupLetter(g), v, lines);
  }
}

void SetOutputChannelMute(app_config_s& config, int c, int m, std::string& lines) {
  if (!IsOutput(c)) return;
  auto [a, b] = LinkedChannels(config, EQ_SIDE_OUTPUT, c);
  for (int ch : {a, b}) {
    if (ch < 0) continue;
    ApplyOutputMute(config, ch, m);
    lines += "[SUCCESS]Set " + OutputChannelName(ch) + OnOff(m) + ".\r\n";
    RemoveOutputFromGroups(config, ch);
  }
}

void SetOutputGroupMute(app_config_s& config, int g, int m, UsbMemberLine usb_line,
                        std::string& lines) {
  const int* members = config.OutputGroupMembers(g);
  if (members == nullptr) return;
  config.group_output_mute[g] = m;
  lines += std::string("[SUCCESS]Set output group ") + GroupLetter(g) + OnOff(m) + ".\r\n";
  for (int c = 0; c < kDspChannels; ++c) {
    if (members[c] != 1) continue;
    ApplyOutputMute(config, c, m);
    const bool no_period = usb_line == UsbMemberLine::kWithoutPeriod && c >= kFirstUsbChannel;
    lines += "[SUCCESS]Set " + OutputChannelName(c) + OnOff(m) + (no_period ? "\r\n" : ".\r\n");
  }
}

void SetAllOutputsMute(app_config_s& config, int m, std::string& lines) {
  lines += std::string("[SUCCESS]Set all output") + OnOff(m) + ".\r\n";
  for (int c = 0; c < kDspChannels; ++c) ApplyOutputMute(config, c, m);
  for (int g = 0; g < kGroups; ++g) config.group_output_mute[g] = m;
}

DelayFade StartDelayFade(app_config_s& config, int first, int second, int ms, bool leave_groups) {
  DelayFade fade;
  fade.channels[0] = first;
  fade.channels[1] = second;
  for (int c : fade.channels) {
    if (c < 0) continue;
    config.OutputDelayRef(c) = ms;
    if (leave_groups) RemoveOutputFromGroups(config, c);
    DspSetOutputVolume(c, 0);
  }
  return fade;
}

void RunDelayFade(app_config_s& config, const DelayFade& fade) {
  if (fade.channels[0] < 0) return;
  // Each write reads the record under the lock, so a command made meanwhile (another delay, a
  // volume) is what the channel ends with.
  auto write_each = [&](const std::function<void(int)>& write) {
    ConfigReadLock lock;  // reads only
    for (int c : fade.channels) {
      if (c >= 0) write(c);
    }
  };
  platform::SleepMs(kFadeStepMs);
  write_each([&config](int c) {
    DspSetOutputDelay(c, static_cast<uint32_t>(config.OutputDelayRef(c) * kDspSamplesPerMs));
  });
  for (int k = 0; k < kFadeSteps; ++k) {
    write_each([&config, k](int c) { DspSetOutputVolume(c, (config.OutputVolRef(c) / 10) * k); });
    platform::SleepMs(kFadeStepMs);
  }
  write_each([&config](int c) { DspSetOutputVolume(c, config.OutputVolRef(c)); });
}

void FadeInOutputDelay(app_config_s& config, int first, int second, int ms, bool leave_groups) {
  RunDelayFade(config, StartDelayFade(config, first, second, ms, leave_groups));
}

DelayFade SetOutputDelay(app_config_s& config, int c, int ms, DelayChange how, std::string& lines) {
  if (!IsOutput(c)) return {};
  auto line = [&](int ch) {
    const std::string tail = " delay time to " + std::to_string(ms) + "ms.\r\n";
    if (ch < kFirstTarvoChannel) {
      lines += "[SUCCESS]Set analogue CH" + std::to_string(ch + 1) + " output" + tail;
    } else if (ch < kFirstUsbChannel && how == DelayChange::kImmediate) {
      lines += "[SUCCESS]Set tarvo " + ChannelWord(ch + 1) + " output" + tail;
    } else {
      lines += "[SUCCESS]Set " + OutputChannelName(ch) + tail;
    }
  };
  if (how == DelayChange::kImmediate) {
    DspSetOutputDelay(c, static_cast<uint32_t>(ms * kDspSamplesPerMs));
    config.OutputDelayRef(c) = ms;
    line(c);
    return {};
  }
  auto [a, b] = LinkedChannels(config, EQ_SIDE_OUTPUT, c);
  line(a);
  if (b >= 0) line(b);
  return StartDelayFade(config, a, b, ms, true);
}

void SetAllOutputsDelay(app_config_s& config, int ms, std::string& lines) {
  lines += "[SUCCESS]Set all output delay time to " + std::to_string(ms) + "ms.\r\n";
  for (int c = 0; c < kDspChannels; ++c) {
    DspSetOutputDelay(c, static_cast<uint32_t>(ms * kDspSamplesPerMs));
    config.OutputDelayRef(c) = ms;
  }
}

void SetOutputSource(app_config_s& config, int out, int src, LinkedPairRouting pairs,
                     std::string& lines) {
  if (out < 0 || out > kDspChannels || src < 0 || src > kDspChannels) return;
  if (out == 0) {
    lines += "[SUCCESS]Set all output from " + SourceText(src, false) + ".\r\n";
    for (int i = 1; i <= kDspChannels; ++i) {
      if (AreInOutPairsLinked(config, src, i)) {
        // The walk meets a claimed pair at its first output.
        if (pairs == LinkedPairRouting::kAsPair) {
          RoutePair(config, i, src);
          AppendRouteLine(i, src, true, lines);
        }
        ++i;
        continue;
      }
      Route(config, i, src);
      AppendRouteLine(i, src, false, lines);
    }
    return;
  }
  const int first = ((out - 1) & ~1) + 1;
  if (src != 0 && AreInOutPairsLinked(config, src, out)) {
    RoutePair(config, out, src);
    AppendRouteLine(out, src, true, lines);
    return;
  }
  const bool pair_fed = AreInOutPairsLinked(config, config.control[first - 1], out) != 0;
  if (src == 0 && pair_fed && pairs == LinkedPairRouting::kAsPair) {
    Route(config, first, 0);
    Route(config, first + 1, 0);
    AppendRouteLine(out, 0, true, lines);
    return;
  }
  if (pair_fed) {
    Route(config, first, 0);
    Route(config, first + 1, 0);
  }
  Route(config, out, src);
  AppendRouteLine(out, src, false, lines);
}

void SetOutputPairSource(app_config_s& config, int n, int m, std::string& lines) {
  if (n < 0 || n > kStereoPairs || m < 0 || m > kStereoPairs) return;
  const int code_first = m == 0 ? 0 : 2 * m - 1;
  const int code_second = m == 0 ? 0 : 2 * m;
  for (int p = (n == 0 ? 1 : n); p <= (n == 0 ? kStereoPairs : n); ++p) {
    Route(config, 2 * p - 1, code_first);
    Route(config, 2 * p, code_second);
  }
  const std::string target =
      n == 0 ? "all output" : std::string(KindWord(2 * n)) + " output " + PairWord(2 * n);
  lines += "[SUCCESS]Set " + target + " from " + SourceText(code_first, true) + ".\r\n";
}
