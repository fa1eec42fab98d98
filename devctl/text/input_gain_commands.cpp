#include "devctl/text/input_gain_commands.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "devctl/core/globals.h"
#include "devctl/core/input_changes.h"
#include "devctl/core/input_groups.h"
#include "devctl/core/limits.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

namespace {

constexpr int kNoStep = -65535;  // step not given: one step

constexpr char kSetParam[] = "Set input gain";
constexpr char kUpParam[] = "Increase input gain";
constexpr char kDownParam[] = "Decrease input gain";

std::string Db(int g) { return std::to_string(g) + "dB.\r\n"; }

// One direction of the step commands.
struct Step {
  int sign;            // +1 up, -1 down
  const char* verb;    // "[SUCCESS]Increase " / "[SUCCESS]Decrease "
  const char* refused;  // what a refusal names

  int Apply(int old, int step) const {
    return std::clamp(old + sign * step, kMinInputGain, kMaxInputGain);
  }
};

const Step kUp{+1, "[SUCCESS]Increase ", kUpParam};
const Step kDown{-1, "[SUCCESS]Decrease ", kDownParam};

void StepChannel(const Step& s, int c, int step, bool leave_groups, std::string& reply,
                 bool all_inputs) {
  const int g = s.Apply(g_app_config.InputGainRef(c), step);
  ApplyInputGain(c, g, leave_groups);
  if (all_inputs && s.sign < 0 && c >= kFirstUsbChannel) {
    reply += "[SUCCESS]Decrease USB input CH" + std::to_string(c - kFirstUsbChannel + 1) +
             " gain to " + Db(g);
  } else {
    reply += std::string(s.verb) + InputChannelName(c) + " gain to " + Db(g);
  }
}

void StepGroup(const Step& s, int k, int step, std::string& reply, bool all_inputs) {
  const int g = s.Apply(g_app_config.group_input_gain[k], step);
  const std::string group = std::string(s.verb) + "input group " + std::to_string(k + 1);
  if (all_inputs) {
    g_app_config.group_input_gain[k] = g;
    g_app_config.group_input_mute[k] = 0;
    reply += group + " gain to " + Db(g);
    return;
  }
  // The raise line has no "to" (the unit's own wording).
  reply += group + (s.sign > 0 ? " gain " : " gain to ") + Db(g);
  for (int c : SetInputGroupGain(k, g)) {
    reply += std::string(s.verb) + InputChannelName(c) + " gain to " + Db(g);
  }
}

void StepInputs(const Step& s, int channel, int step, std::string& reply) {
  if (channel == 0) {
    for (int c = 0; c < kDspChannels; ++c) StepChannel(s, c, step, false, reply, true);
    for (int k = 0; k < kGroups; ++k) StepGroup(s, k, step, reply, true);
  } else if (channel >= kFirstGroupNumber) {
    StepGroup(s, channel - kFirstGroupNumber, step, reply, false);
  } else {
    const int c = channel - 1, pair = c / 2;
    if (pair < kStereoPairs && g_app_config.InputLinkRef(pair)) {
      StepChannel(s, 2 * pair, step, true, reply, false);
      StepChannel(s, 2 * pair + 1, step, true, reply, false);
    } else {
      StepChannel(s, c, step, true, reply, false);
    }
  }
}

bool StepCommand(const Step& s, int channel, int step, std::string& reply) {
  if (step == kNoStep) step = 1;
  if (!IsChannelOrGroupNumber(channel) || step < kMinStep || step > kMaxStep) {
    return RefuseRange(s.refused, reply);
  }
  StepInputs(s, channel, step, reply);
  return true;
}

}  // namespace

bool TermSetInputGain(const PreparedLine& line, std::string& reply) {
  int channel = 0, gain = -100;
  ScanText(line.condensed, "IN%dGAIN%d", &channel, &gain);
  if (!IsChannelOrGroupNumber(channel) || gain < kMinInputGain || gain > kMaxInputGain) {
    return RefuseRange(kSetParam, reply);
  }
  if (channel == 0) {
    reply += "[SUCCESS]Set all input gain to " + Db(gain);
    for (int c = 0; c < kDspChannels; ++c) ApplyInputGain(c, gain, false);
    for (int k = 0; k < kGroups; ++k) {
      g_app_config.group_input_gain[k] = gain;
      g_app_config.group_input_mute[k] = 0;
    }
  } else if (channel >= kFirstGroupNumber) {
    const int k = channel - kFirstGroupNumber;
    reply += "[SUCCESS]Set group " + std::to_string(k + 1) + " input gain to " + Db(gain);
    for (int c : SetInputGroupGain(k, gain)) {
      reply += "[SUCCESS]Set " + InputChannelName(c) + " gain to " + Db(gain);
    }
  } else {
    SetInputChannelGain(channel - 1, gain, reply);
  }
  return true;
}

bool TermSetInputGainUp(const PreparedLine& line, std::string& reply) {
  int channel = 0, step = kNoStep;
  ScanText(line.condensed, "IN%dGAIN+%d", &channel, &step);
  return StepCommand(kUp, channel, step, reply);
}

bool TermSetInputGainDown(const PreparedLine& line, std::string& reply) {
  int channel = 0, step = kNoStep;
  ScanText(line.condensed, "IN%dGAIN-", &channel);
  if (const char* at = std::strstr(line.condensed, "GAIN-")) ScanText(at + 5, "%d", &step);
  return StepCommand(kDown, channel, step, reply);
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

// "GAIN" directly followed by a digit.
bool HasGainDigit(const PreparedLine& l) {
  for (const char* at = std::strstr(l.condensed, "GAIN"); at; at = std::strstr(at + 1, "GAIN")) {
    if (std::isdigit(static_cast<unsigned char>(at[4]))) return true;
  }
  return false;
}

const TextRow kInputGainRowList[] = {
    // The received line with its blanks: "IN 1 GAIN +3" sets the gain to 3.
    {[](const PreparedLine& l) { return l.Begins("IN") && l.RawHas("GAIN "); },
     TermSetInputGain, kWakes | kSaves, "IN 1 GAIN 5"},
    {[](const PreparedLine& l) { return l.Begins("IN") && l.Has("GAIN+"); },
     TermSetInputGainUp, kWakes | kSaves, "IN 1 GAIN+3"},
    {[](const PreparedLine& l) { return l.Begins("IN") && l.Has("GAIN-"); },
     TermSetInputGainDown, kWakes | kSaves, "IN 2 GAIN-"},
    // Typed without blanks: "IN1GAIN5" sets the gain like "IN 1 GAIN 5".
    {[](const PreparedLine& l) { return l.Begins("IN") && HasGainDigit(l); },
     TermSetInputGain, kWakes | kSaves, "IN1GAIN5"},
};

const text_command_s kInputGainHelpList[] = {
    {0, "IN xx GAIN yy", TermSetInputGain, FormatHelpText(nullptr, "IN xx GAIN yy", {
         "Set Input:xx Gain To yy",
         "xx=[0]:All Input Ports",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4",
         "yy=[-30...+30]:Input Gain,Step=1dB"})},
    {0, "IN xx GAIN+yy", TermSetInputGainUp, FormatHelpText(nullptr, "IN xx GAIN+yy", {
         "Increase Input:xx Gain",
         "xx=[0]:All Input Ports",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4",
         "yy=[1...10]:Steps",
         "yy Can Be Empty(1 Step)"})},
    {0, "IN xx GAIN-yy", TermSetInputGainDown, FormatHelpText(nullptr, "IN xx GAIN-yy", {
         "Decrease Input:xx Gain",
         "xx=[0]:All Input Ports",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4",
         "yy=[1...10]:Steps",
         "yy Can Be Empty(1 Step))"})},
};

}  // namespace

const TextRows kInputGainRows = SliceOf(kInputGainRowList);

const HelpRows kInputGainHelp = SliceOf(kInputGainHelpList);
