// Stereo links, group memberships and the routes that linked pairs allow, as kept in the live
// configuration. Configuration only (and the DSP source of a cleared route); callers hold the
// configuration lock and save. RemoveInputFromGroups lives with the input changes
// (input_changes.h).
//
// Pairs 0-6 are the channel numbers (2p+1, 2p+2): 0-1 analogue, 2-5 Tarvo, 6 USB.
#pragma once

#include <string>
#include <utility>

#include "devctl/core/app_config.h"

// What a record says of its links and groups; nothing else is read or written.
//
// 1 when the pair of input in (1-14) and the pair of output out (1-14) are both linked.
int AreInOutPairsLinked(const app_config_s& config, int in, int out);
// 1 when the pair of the input / output number (1-14) is linked; 0 outside 1-14.
int IsInputPairLinked(const app_config_s& config, int in);
int IsOutputPairLinked(const app_config_s& config, int out);

// The channels a change of channel c (DSP index 0-13) on side (EQ_SIDE_INPUT / EQ_SIDE_OUTPUT)
// reaches: its pair (lower, higher) when the pair is linked, otherwise (c, -1).
std::pair<int, int> LinkedChannels(const app_config_s& config, int side, int c);

// Clears output c (DSP index 0-13) from the four output group lists.
void RemoveOutputFromGroups(app_config_s& config, int c);

// After input pair p was linked (linked == 1): every linked output pair that uses p's channels
// other than straight (first output from 2p+1, second from 2p+2) loses those sources.
void FixRoutesForInputLink(app_config_s& config, int p, int linked);
// After output pair q was linked (linked == 1): the same for q against every linked input pair.
void FixRoutesForOutputLink(app_config_s& config, int q, int linked);

// What linking a pair does to the second channel's settings.
enum class LinkSettings {
  // Text command: both channels keep their own settings until the pair is next addressed.
  kKeep,
  // Web command: the second channel takes the first's level, mute and delay (outputs, the delay
  // faded in) or gain, mute and phantom power (inputs), each only when it differs (the input mute
  // always once the gain was copied, the phantom power always).
  kSecondTakesFirst,
};

// Sets the link flag of input / output pair p (0-6) to flag (1 linked, 0 not), appends
// "[SUCCESS]Set <kind> <side> <pair> locked." / "... unlocked.", then on linking fixes the routes
// that the linked pair no longer allows.
void SetInputPairLink(app_config_s& config, int p, int flag, LinkSettings settings,
                      std::string& lines);
void SetOutputPairLink(app_config_s& config, int p, int flag, LinkSettings settings,
                       std::string& lines);
