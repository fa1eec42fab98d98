// Gain changes of the input groups, shared by the text and web commands. Callers hold the
// configuration lock, report and save.
#pragma once

#include <vector>

#include "devctl/core/input_changes.h"

// Gives input group g (0-3) the gain value and clears its mute flag, then gives each member (DSP
// index order) the group's gain, unmuted; members stay in the group. Returns the members in the
// order they were set; nothing for g outside 0-3. when: see ApplyInputGain.
std::vector<int> SetInputGroupGain(int g, int value, GainWrite when = GainWrite::kBeforeUnmute);
