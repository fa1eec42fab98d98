#include "devctl/text/output_volume_commands.h"

#include <algorithm>
#include <cstring>

#include "devctl/core/globals.h"
#include "devctl/core/limits.h"
#include "devctl/core/output_changes.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

namespace {

constexpr int kNoStep = -65535;  // step not given: one step

constexpr char kSetParam[] = "Set output volume";
constexpr char kUpParam[] = "Increase output volume";
constexpr char kDownParam[] = "Decrease output volume";

std::string VolumeTo(int v) { return " volume to " + std::to_string(v) + ".\r\n"; }

// One direction of the step commands.
struct Step {
  int sign;            // +1 up, -1 down
  const char* verb;    // "[SUCCESS]Increase " / "[SUCCESS]Decrease "
  const char* refused;  // what a refusal names
  VolumeWrite order;   // of a channel addressed by its own number (pair or single)

  int Apply(int old, int step) const { return std::clamp(old + sign * step, kMinVolume, kMaxVolume); }
};

// Lowering writes a channel's changed mute before its volume, raising after.
const Step kUp{+1, "[SUCCESS]Increase ", kUpParam, VolumeWrite::kVolumeFirst};
const Step kDown{-1, "[SUCCESS]Decrease ", kDownParam, VolumeWrite::kMuteFirst};

void StepChannel(const Step& s, int c, int step, std::string& reply) {
  const int v = s.Apply(g_app_config.OutputVolRef(c), step);
  ApplyOutputVolume(c, v, s.order, true);
  reply += s.verb + OutputChannelName(c) + VolumeTo(v);
}

void StepGroup(const Step& s, int g, int step, bool with_members, std::string& reply) {
  const int v = s.Apply(g_app_config.group_output_vol[g], step);
  ApplyOutputGroupVolume(g, v);
  reply += std::string(s.verb) + "output group " + char('A' + g) + VolumeTo(v);
  if (!with_members) return;
  const int* members = g_app_config.OutputGroupMembers(g);
  for (int c = 0; c < kDspChannels; ++c) {
    if (members[c] != 1) continue;
    ApplyOutputVolume(c, v, VolumeWrite::kVolumeFirst, false);
    reply += s.verb + OutputChannelName(c) + VolumeTo(v);
  }
}

void StepAll(const Step& s, int step, std::string& reply) {
  for (int c = 0; c < kDspChannels; ++c) {
    const int v = s.Apply(g_app_config.OutputVolRef(c), step);
    ApplyOutputVolume(c, v, VolumeWrite::kVolumeFirst, false);
    // In this listing the USB outputs are numbered CH1 and CH2.
    const std::string label =
        c >= kFirstUsbChannel ? "USB output CH" + std::to_string(c - kFirstUsbChannel + 1)
                              : OutputChannelName(c);
    reply += s.verb + label + VolumeTo(v);
  }
  for (int g = 0; g < kGroups; ++g) StepGroup(s, g, step, false, reply);
}

bool StepCommand(const Step& s, int channel, int step, std::string& reply) {
  if (step == kNoStep) step = 1;
  if (!IsChannelOrGroupNumber(channel) || step < kMinStep || step > kMaxStep) {
    return RefuseRange(s.refused, reply);
  }
  if (channel == 0) {
    StepAll(s, step, reply);
  } else if (channel >= kFirstGroupNumber) {
    StepGroup(s, channel - kFirstGroupNumber, step, true, reply);
  } else {
    const int c = channel - 1, pair = c / 2;
    if (g_app_config.OutputLinkRef(pair)) {
      StepChannel(s, 2 * pair, step, reply);
      StepChannel(s, 2 * pair + 1, step, reply);
    } else {
      StepChannel(s, c, step, reply);
    }
  }
  return true;
}

}  // namespace

bool TermSetOutputVolume(const PreparedLine& line, std::string& reply) {
  // A missing volume keeps -1 and is refused: a typo must not silence the outputs.
  int channel = 0, volume = -1;
  ScanText(line.condensed, "OUT%dVOL%d", &channel, &volume);
  if (!IsChannelOrGroupNumber(channel) || volume < kMinVolume || volume > kMaxVolume) {
    return RefuseRange(kSetParam, reply);
  }
  if (channel == 0) {
    SetAllOutputsVolume(volume, reply);
  } else if (channel >= kFirstGroupNumber) {
    SetOutputGroupVolume(channel - kFirstGroupNumber, volume, VolumeWrite::kMuteFirst, reply);
  } else {
    SetOutputChannelVolume(channel - 1, volume, reply);
  }
  return true;
}

bool TermSetOutputVolumeUp(const PreparedLine& line, std::string& reply) {
  int channel = 0, step = kNoStep;
  ScanText(line.condensed, "OUT%dVOL+%d", &channel, &step);
  return StepCommand(kUp, channel, step, reply);
}

bool TermSetOutputVolumeDown(const PreparedLine& line, std::string& reply) {
  int channel = 0, step = kNoStep;
  ScanText(line.condensed, "OUT%dVOL-", &channel);
  if (const char* at = std::strstr(line.condensed, "VOL-")) ScanText(at + 4, "%d", &step);
  return StepCommand(kDown, channel, step, reply);
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

// VOL+ and VOL- before VOL.
const TextRow kOutputVolumeRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("VOL+"); },
     TermSetOutputVolumeUp, kWakes | kSaves, "OUT 1 VOL+2"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("VOL-"); },
     TermSetOutputVolumeDown, kWakes | kSaves, "OUT 1 VOL-"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("VOL"); },
     TermSetOutputVolume, kWakes | kSaves, "OUT 1 VOL 50"},
};

const text_command_s kOutputVolumeHelpList[] = {
    {0, "OUT xx VOL yy", TermSetOutputVolume, FormatHelpText(nullptr, "OUT xx VOL yy", {
         "Set Output:xx Volume To yy",
         "xx=[0]:All Output Ports",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D",
         "yy=[0...100]:Volume Value"})},
    {0, "OUT xx VOL+", TermSetOutputVolumeUp, FormatHelpText(nullptr, "OUT xx VOL+yy", {
         "Increase Output:xx Volume",
         "xx=[0]:All Output Ports",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D",
         "yy=[1...10]:Steps",
         "yy Can Be Empty(1 Step)"})},
    {0, "OUT xx VOL-", TermSetOutputVolumeDown, FormatHelpText(nullptr, "OUT xx VOL-yy", {
         "Decrease Output:xx Volume",
         "xx=[0]:All Output Ports",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D",
         "yy=[1...10]:Steps",
         "yy Can Be Empty(1 Step)"})},
};

}  // namespace

const TextRows kOutputVolumeRows = SliceOf(kOutputVolumeRowList);

const HelpRows kOutputVolumeHelp = SliceOf(kOutputVolumeHelpList);
