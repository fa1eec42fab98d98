#include "devctl/core/input_groups.h"

#include <vector>

#include "devctl/core/limits.h"
#include "devctl/core/unit_state.h"

namespace {

std::string Db(int g) { return std::to_string(g) + "dB.\r\n"; }

int StepGain(const LevelStep& step, int old) {
  return step.Apply(old, kMinInputGain, kMaxInputGain);
}

std::string GroupWord(int g) { return "input group " + std::to_string(g + 1); }

// The group's record: its gain, its mute flag cleared.
void StoreGroupGain(app_config_s& config, int g, int value) {
  config.group_input_gain[g] = value;
  config.group_input_mute[g] = 0;
}

// The group's record, then each member; returns the members in the order they were set.
std::vector<int> ApplyInputGroupGain(app_config_s& config, int g, int value, GainWrite when) {
  std::vector<int> members;
  const int* list = config.InputGroupMembers(g);
  if (list == nullptr) return members;
  StoreGroupGain(config, g, value);
  for (int c = 0; c < kDspChannels; ++c) {
    if (list[c] != 1) continue;
    ApplyInputGain(config, c, value, false, when);
    members.push_back(c);
  }
  return members;
}

}  // namespace

void SetInputGroupGain(app_config_s& config, int g, int value, GainWrite when, GroupGainName name,
                       std::string& lines) {
  if (config.InputGroupMembers(g) == nullptr) return;
  lines += name == GroupGainName::kInputGroup
               ? "[SUCCESS]Set " + GroupWord(g) + " gain to " + Db(value)
               : "[SUCCESS]Set group " + std::to_string(g + 1) + " input gain to " + Db(value);
  for (int c : ApplyInputGroupGain(config, g, value, when)) {
    lines += "[SUCCESS]Set " + InputChannelName(c) + " gain to " + Db(value);
  }
}

void StepInputGroupGain(app_config_s& config, int g, const LevelStep& step, std::string& lines) {
  if (config.InputGroupMembers(g) == nullptr) return;
  const int value = StepGain(step, config.group_input_gain[g]);
  // The raise line has no "to" (the unit's own wording).
  lines += step.Verb() + GroupWord(g) +
           (step.direction == LevelStep::kUp ? " gain " : " gain to ") + Db(value);
  for (int c : ApplyInputGroupGain(config, g, value, GainWrite::kBeforeUnmute)) {
    lines += step.Verb() + InputChannelName(c) + " gain to " + Db(value);
  }
}

void SetAllInputsGain(app_config_s& config, int value, std::string& lines) {
  lines += "[SUCCESS]Set all input gain to " + Db(value);
  for (int c = 0; c < kDspChannels; ++c) ApplyInputGain(config, c, value, false);
  for (int g = 0; g < kGroups; ++g) StoreGroupGain(config, g, value);
}

void StepAllInputsGain(app_config_s& config, const LevelStep& step, std::string& lines) {
  for (int c = 0; c < kDspChannels; ++c) {
    const int value = StepGain(step, config.InputGainRef(c));
    ApplyInputGain(config, c, value, false);
    if (step.direction == LevelStep::kDown && c >= kFirstUsbChannel) {
      lines += "[SUCCESS]Decrease USB input CH" + std::to_string(c - kFirstUsbChannel + 1) +
               " gain to " + Db(value);
    } else {
      lines += step.Verb() + InputChannelName(c) + " gain to " + Db(value);
    }
  }
  for (int g = 0; g < kGroups; ++g) {
    const int value = StepGain(step, config.group_input_gain[g]);
    StoreGroupGain(config, g, value);
    lines += step.Verb() + GroupWord(g) + " gain to " + Db(value);
  }
}
