// Gain changes that reach the input groups, shared by the text and web commands: a group with its
// members, and all inputs at once (the channels and the four group records). Callers hold the
// configuration lock, check the ranges, send the lines and save.
#pragma once

#include <string>

#include "devctl/core/app_config.h"
#include "devctl/core/input_changes.h"
#include "devctl/core/level_step.h"

// How the line of a group's new gain names the group.
enum class GroupGainName {
  kGroupOfInputs,  // "[SUCCESS]Set group 1 input gain to 5dB."
  kInputGroup,     // "[SUCCESS]Set input group 1 gain to 5dB."
};

// Gives input group g (0-3) the gain value and clears its mute flag, then gives each member (DSP
// index order) the group's gain, unmuted; members stay in the group. Appends the group's line,
// then "[SUCCESS]Set <member> gain to <value>dB." per member; nothing for g outside 0-3.
// when: see ApplyInputGain.
void SetInputGroupGain(app_config_s& config, int g, int value, GainWrite when, GroupGainName name,
                       std::string& lines);

// Steps group g from its own gain, then gives each member the group's new gain as
// SetInputGroupGain does. Appends the group's line (a raise's has no "to"), then one per member.
void StepInputGroupGain(app_config_s& config, int g, const LevelStep& step, std::string& lines);

// Gives all fourteen inputs the gain value (channel order, no group membership changes) and the
// four groups the gain with their mute flags cleared. Appends the single
// "[SUCCESS]Set all input gain to <value>dB." first.
void SetAllInputsGain(app_config_s& config, int value, std::string& lines);

// Steps each of the fourteen inputs, then each group (mute flag cleared), from its own gain; no
// membership changes, members are not set from their group. Appends a line for each; lowered USB
// inputs are named "USB input CH1" and "CH2".
void StepAllInputsGain(app_config_s& config, const LevelStep& step, std::string& lines);
