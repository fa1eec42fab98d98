#include "devctl/core/input_groups.h"

#include "devctl/core/globals.h"
#include "devctl/core/input_changes.h"

std::vector<int> SetInputGroupGain(int g, int value, GainWrite when) {
  std::vector<int> members;
  const int* list = g_app_config.InputGroupMembers(g);
  if (list == nullptr) return members;
  g_app_config.group_input_gain[g] = value;
  g_app_config.group_input_mute[g] = 0;
  for (int c = 0; c < kDspChannels; ++c) {
    if (list[c] != 1) continue;
    ApplyInputGain(c, value, false, when);
    members.push_back(c);
  }
  return members;
}
