#include "devctl/text/mute_commands.h"

#include <cstring>

#include "devctl/core/input_changes.h"
#include "devctl/core/limits.h"
#include "devctl/core/output_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

namespace {

// 1 mute, 0 unmute, -1 undecided. A channel decides by "MUTEON" anywhere, else "MUTEOFF"; all
// channels (0) decide at the first "MUTE" of the line.
int MuteOf(const char* line, int channel) {
  if (channel != 0)
    return std::strstr(line, "MUTEON") ? 1 : (std::strstr(line, "MUTEOFF") ? 0 : -1);
  const char* at = std::strstr(line, "MUTE");
  if (at == nullptr) return -1;
  if (BeginsWith(at, "MUTEON")) return 1;
  if (BeginsWith(at, "MUTEOFF")) return 0;
  return -1;
}

}  // namespace

bool TermSetInputMute(const PreparedLine& line, std::string& reply) {
  int channel = -1;
  ScanText(line.condensed, "IN%d", &channel);
  if (!IsChannelOrGroupNumber(channel)) return RefuseRange("Set input mute", reply);
  const int m = MuteOf(line.condensed, channel);
  // An undecided "all" line changes nothing and still saves, as the unit always has.
  if (m < 0) return true;
  if (channel == 0) {
    SetAllInputsMute(g_unit.config, m, reply);
  } else if (channel >= kFirstGroupNumber) {
    SetInputGroupMute(g_unit.config, channel - kFirstGroupNumber, m, reply);
  } else {
    SetInputChannelMute(g_unit.config, channel - 1, m, reply);
  }
  return true;
}

bool TermSetOutputMute(const PreparedLine& line, std::string& reply) {
  int channel = 0;
  ScanText(line.condensed, "OUT%d", &channel);
  if (!IsChannelOrGroupNumber(channel)) return RefuseRange("Set output mute", reply);
  const int m = MuteOf(line.condensed, channel);
  if (m < 0) {
    reply += "\r\n";
    return true;
  }
  if (channel == 0) {
    SetAllOutputsMute(g_unit.config, m, reply);
  } else if (channel >= kFirstGroupNumber) {
    SetOutputGroupMute(g_unit.config, channel - kFirstGroupNumber, m, UsbMemberLine::kWithoutPeriod,
                       reply);
  } else {
    SetOutputChannelMute(g_unit.config, channel - 1, m, reply);
  }
  return true;
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

const TextRow kMuteRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("IN") && (l.Has("MUTEON") || l.Has("MUTEOFF")); },
     TermSetInputMute, kWakes | kSaves, "IN 1 MUTE ON"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && (l.Has("MUTEON") || l.Has("MUTEOFF")); },
     TermSetOutputMute, kWakes | kSaves, "OUT 1 MUTE OFF"},
};

const text_command_s kInputMuteHelpList[] = {
    {0, "IN xx MUTE ON/OFF", TermSetInputMute,
     FormatHelpText(nullptr, "IN xx MUTE ON/OFF",
                    {"Set Input:xx Mute On Or Off", "xx=[0]:All Input Ports",
                     "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input "
                     "Left,14:USB Input Right,15-18:Input Group 1-4"})},
};

const text_command_s kOutputMuteHelpList[] = {
    {0, "OUT xx MUTE ON/OFF", TermSetOutputMute,
     FormatHelpText(nullptr, "OUT xx MUTE ON/OFF",
                    {"Set Output:xx Mute On Or Off", "xx=[0]:All Output Ports",
                     "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right,15-18:Output Group A-D"})},
};

}  // namespace

const TextRows kMuteRows = SliceOf(kMuteRowList);

const HelpRows kInputMuteHelp = SliceOf(kInputMuteHelpList);
const HelpRows kOutputMuteHelp = SliceOf(kOutputMuteHelpList);
