// Gain and mute changes of the inputs as every control path makes them (text commands, web
// commands): the configuration record, the DSP, the analogue front-end range, and the "[SUCCESS]"
// lines that report each channel. Callers hold the configuration lock, send the lines and save.
//
// Channels are DSP indexes 0-13: 0-3 analogue 1-4, 4-11 Tarvo 1-8, 12 USB left, 13 USB right.
// Groups are 0-3 (input groups 1-4). Indexes out of range change nothing.
#pragma once

#include <string>

#include "devctl/core/app_config.h"
#include "devctl/core/level_step.h"

// Clears input c from the membership lists of the four input groups. No hardware, no save.
void RemoveInputFromGroups(app_config_s& config, int c);

// The channel as the reply lines name it: "analogue input CH1", "tarvo input CH8",
// "USB input left".
std::string InputChannelName(int c);

// When the gain word reaches the DSP: before the channel is unmuted (text commands, channels set
// by number) or after it (members of a group set by the web "set input gain").
enum class GainWrite { kBeforeUnmute, kAfterUnmute };

// Gives input c the gain g (field and DSP) and leaves it unmuted. An analogue input is muted for
// 10 ms around the change of its front-end range and is always written unmuted; another input is
// unmuted only when its mute flag was set. leave_groups: the channel was addressed by its own
// number and leaves its groups.
void ApplyInputGain(app_config_s& config, int c, int g, bool leave_groups,
                    GainWrite when = GainWrite::kBeforeUnmute);

// Sets gain g on input c, or on both inputs of its pair when the pair is linked (the lower first;
// a linked analogue pair is muted together and shares one 10 ms wait). The channels leave their
// groups. Appends one line per channel.
void SetInputChannelGain(app_config_s& config, int c, int g, std::string& lines);

// Steps input c, or each input of its linked pair (lower first, each the whole sequence of
// ApplyInputGain) from its own gain, within -30..30 dB; the channels leave their groups. Appends
// "<verb> <channel> gain to <g>dB." per channel.
void StepInputChannelGain(app_config_s& config, int c, const LevelStep& step, std::string& lines);

// Sets mute m (1 on, 0 off) on input c, or on both inputs of its linked pair, lower first; each
// leaves its groups. Appends one line per channel.
void SetInputChannelMute(app_config_s& config, int c, int m, std::string& lines);

// Sets the mute flag of input group g to m, then mute m on each member in channel order; members
// stay in the group. Appends the group's line, then one line per member.
void SetInputGroupMute(app_config_s& config, int g, int m, std::string& lines);

// Mute m on all fourteen inputs and all four input group flags; no membership changes.
// Appends "[SUCCESS]Set all input mute on." / "... off.".
void SetAllInputsMute(app_config_s& config, int m, std::string& lines);
