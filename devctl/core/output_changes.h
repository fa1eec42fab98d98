// Volume, mute, delay and routing changes of the outputs as every control path makes them (text
// commands, web commands): the configuration record, the DSP, and the "[SUCCESS]" lines that
// report each change. Callers hold the configuration lock, send the lines and save.
//
// Channels are DSP indexes 0-13: 0-3 analogue 1-4, 4-11 Tarvo 1-8, 12 USB left, 13 USB right.
// Groups are 0-3 (output groups A-D). Indexes out of range change nothing.
#pragma once

#include <string>

#include "devctl/core/app_config.h"
#include "devctl/core/level_step.h"

// The channel as the reply lines name it: "analogue output CH1", "tarvo output CH8",
// "USB output left".
std::string OutputChannelName(int c);

// Which DSP word of a channel goes first when its volume and (changed) mute are written.
enum class VolumeWrite { kVolumeFirst, kMuteFirst };

// Gives output c the volume v (field and DSP, written even when unchanged); its mute follows the
// volume (0 mutes, above 0 unmutes), written to the DSP only when the flag changes.
// leave_groups: the channel was addressed by its own number and leaves its groups.
void ApplyOutputVolume(app_config_s& config, int c, int v, VolumeWrite order, bool leave_groups);

// Gives group g the volume v; its mute flag follows the volume (a group has no DSP channel).
void ApplyOutputGroupVolume(app_config_s& config, int g, int v);

// Sets volume v on output c, or on both outputs of its linked pair (lower first); each leaves its
// groups. Appends "[SUCCESS]Set <channel> volume to <v>." per channel.
void SetOutputChannelVolume(app_config_s& config, int c, int v, std::string& lines);

// Sets group g to volume v, then each member (channel order) to v; members stay in the group.
// Appends the group's line, then one line per member. member_order: the text command writes a
// member's changed mute before its volume, the web command after.
void SetOutputGroupVolume(app_config_s& config, int g, int v, VolumeWrite member_order,
                          std::string& lines);

// Sets all fourteen outputs and the four groups to v (no group membership changes, members are
// not set from their group). Appends the single "[SUCCESS]Set all output volume to <v>." first.
void SetAllOutputsVolume(app_config_s& config, int v, std::string& lines);

// Steps output c, or each output of its linked pair (lower first) from its own volume, within
// 0-100; each leaves its groups. A raise writes a channel's changed mute after its volume, a lower
// before. Appends "<verb> <channel> volume to <v>." per channel.
void StepOutputChannelVolume(app_config_s& config, int c, const LevelStep& step,
                             std::string& lines);

// Steps group g from its own volume, then sets each member (channel order) to the group's new
// volume; members stay in the group. Appends the group's line, then one line per member.
void StepOutputGroupVolume(app_config_s& config, int g, const LevelStep& step, std::string& lines);

// Steps each of the fourteen outputs, then each group, from its own volume (no membership
// changes, members are not set from their group). Appends a line for each, the USB outputs
// named "USB output CH1" and "CH2".
void StepAllOutputsVolume(app_config_s& config, const LevelStep& step, std::string& lines);

// Sets mute m (1 on, 0 off) on output c, or on both outputs of its linked pair, lower first; each
// leaves its groups. Appends one line per channel.
void SetOutputChannelMute(app_config_s& config, int c, int m, std::string& lines);

// How a USB member's line ends in a group mute: the text command's ends without the period.
enum class UsbMemberLine { kWithPeriod, kWithoutPeriod };

// Sets the mute flag of group g to m, then mute m on each member in channel order; members stay in
// the group. Appends the group's line, then one line per member.
void SetOutputGroupMute(app_config_s& config, int g, int m, UsbMemberLine usb_line,
                        std::string& lines);

// Mute m on all fourteen outputs and all four group flags; no membership changes.
// Appends "[SUCCESS]Set all output mute on." / "... off.".
void SetAllOutputsMute(app_config_s& config, int m, std::string& lines);

// How an output delay reaches the DSP.
enum class DelayChange {
  // Text command: only channel c, one DSP write, stays in its groups.
  kImmediate,
  // Web command: c and its linked partner; volume faded to 0 and back around the write (about
  // 550 ms, see RunDelayFade); the channels leave their groups. The Tarvo line reads
  // "tarvo output CH%d delay".
  kFaded,
};

// A delay change whose fade is still to run: the channels (-1 for none) muted by StartDelayFade.
struct DelayFade {
  int channels[2] = {-1, -1};
};

// Sets the delay of output c to ms milliseconds (ms x 48 samples). Appends one line per channel.
// kFaded changes the record and starts the fade; the caller runs the rest with RunDelayFade once
// it released the configuration lock.
DelayFade SetOutputDelay(app_config_s& config, int c, int ms, DelayChange how, std::string& lines);

// Sets all fourteen outputs to ms at once. Appends "[SUCCESS]Set all output delay time to <ms>ms."
void SetAllOutputsDelay(app_config_s& config, int ms, std::string& lines);

// The delay change with a volume fade, for one or two channels together (second -1 for one).
// StartDelayFade, under the configuration lock: the delay field of each channel, with
// leave_groups its group removal, and volume 0 in the DSP. RunDelayFade, without the lock held
// (it takes it for each write): 50 ms, the DSP delay (ms x 48), ten steps of (v / 10) x k 50 ms
// apart, and finally v, with v and the delay as the record holds them at each write. No lines.
DelayFade StartDelayFade(app_config_s& config, int first, int second, int ms, bool leave_groups);
void RunDelayFade(app_config_s& config, const DelayFade& fade);
// Both at once, for a caller that holds the lock anyway.
void FadeInOutputDelay(app_config_s& config, int first, int second, int ms, bool leave_groups);

// How routing treats an output pair that a linked input pair claims (all outputs) or feeds ("none"
// on one of its outputs).
enum class LinkedPairRouting {
  // All outputs route a claimed pair pair-wise with a pair line; "none" clears a fed pair with one
  // pair line.
  kAsPair,
  // All outputs pass over a claimed pair; "none" clears a fed pair, then the addressed output once
  // more, with that output's line.
  kPerOutput,
};

// Routes source src (0 none, 1-14 input number) to output out (1-14, 0 all) with the stereo-pair
// rules. Every change stores `control` then writes the DSP selector. Appends the reply lines.
void SetOutputSource(app_config_s& config, int out, int src, LinkedPairRouting pairs,
                     std::string& lines);

// Pair form of the web command: output pair n (1-7, 0 all pairs) from input pair m (1-7, 0 none),
// link flags not consulted. Appends one line.
void SetOutputPairSource(app_config_s& config, int n, int m, std::string& lines);
