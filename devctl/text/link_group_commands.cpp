#include "devctl/text/link_group_commands.h"

#include <cstring>

#include "devctl/core/group_members.h"
#include "devctl/core/limits.h"
#include "devctl/core/links_groups.h"
#include "devctl/core/output_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

namespace {

constexpr int kNoChannel = -65535;

bool IsChannel(int n) { return n >= 1 && n <= kLastChannelNumber; }

// The lock keyword: 1 "CHLOCKON", 0 "CHLOCKOFF", -1 neither.
int LockOf(const char* line) {
  if (std::strstr(line, "CHLOCKON")) return 1;
  if (std::strstr(line, "CHLOCKOFF")) return 0;
  return -1;
}

// The fourteen membership flags after the first "MEMBER", less the line end; false unless the
// text is exactly fourteen '0'/'1'.
bool ReadMemberString(const char* line, bool members[kDspChannels]) {
  const char* at = std::strstr(line, "MEMBER");
  if (at == nullptr) return false;
  std::string text(at + 6);
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
    text.resize(text.size() - 2);
  } else if (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
    text.pop_back();
  }
  if (text.size() != static_cast<size_t>(kDspChannels)) return false;
  for (int c = 0; c < kDspChannels; ++c) {
    if (text[c] != '0' && text[c] != '1') return false;
    members[c] = text[c] == '1';
  }
  return true;
}

bool GroupMembers(int side, const char* line, const char* pattern, const char* what,
                  std::string& reply) {
  int group = 0;
  ScanText(line, pattern, &group);
  bool members[kDspChannels];
  if (!ReadMemberString(line, members) || group < 1 || group > kGroups) {
    return RefuseRange(what, reply);
  }
  return SetGroupMembers(g_unit.config, side, group - 1, members, reply);
}

}  // namespace

bool TermSetInputChannelLock(const PreparedLine& line, std::string& reply) {
  int channel = kNoChannel;
  ScanText(line.condensed, "IN%d", &channel);
  if (!IsChannel(channel)) {
    return RefuseRange("Set input lock", reply);
  }
  const int lock = LockOf(line.condensed);
  // Neither ON nor OFF: no change, no line.condensed; saved all the same.
  if (lock >= 0)
    SetInputPairLink(g_unit.config, (channel - 1) / 2, lock, LinkSettings::kKeep, reply);
  return true;
}

bool TermSetOutputChannelLock(const PreparedLine& line, std::string& reply) {
  int channel = kNoChannel;
  ScanText(line.condensed, "OUT%d", &channel);
  if (!IsChannel(channel)) {
    return RefuseRange("Set output lock", reply);
  }
  const int lock = LockOf(line.condensed);
  if (lock >= 0) {
    SetOutputPairLink(g_unit.config, (channel - 1) / 2, lock, LinkSettings::kKeep, reply);
  } else {
    reply += "\r\n";
  }
  return true;
}

bool TermSetInputGroupMembers(const PreparedLine& line, std::string& reply) {
  return GroupMembers(EQ_SIDE_INPUT, line.condensed, "INGROUP%dMEMBER", "Input group member",
                      reply);
}

bool TermSetOutputGroupMembers(const PreparedLine& line, std::string& reply) {
  return GroupMembers(EQ_SIDE_OUTPUT, line.condensed, "OUTGROUP%dMEMBER", "Output group member",
                      reply);
}

bool TermSetOutputDelay(const PreparedLine& line, std::string& reply) {
  int channel = 0, ms = -1;
  // Without a channel number the line.condensed means all outputs, and the delay still counts.
  if (ScanText(line.condensed, "OUT%dDLYT%d", &channel, &ms) == 0) {
    ScanText(line.condensed, "OUTDLYT%d", &ms);
  }
  if (static_cast<unsigned>(channel) > kLastChannelNumber || ms < kMinDelayMs || ms > kMaxDelayMs) {
    return RefuseRange("Output delay time", reply);
  }
  if (channel == 0) {
    SetAllOutputsDelay(g_unit.config, ms, reply);
  } else {
    SetOutputDelay(g_unit.config, channel - 1, ms, DelayChange::kImmediate, reply);
  }
  return true;
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

const TextRow kChannelLockRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("IN") && l.Has("CHLOCK"); },
     TermSetInputChannelLock, kWakes | kSaves, "IN 1 CH LOCK ON"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("CHLOCK"); },
     TermSetOutputChannelLock, kWakes | kSaves, "OUT 3 CH LOCK OFF"},
};

const TextRow kGroupAndDelayRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("IN") && l.Has("GROUP") && l.Has("MEMBER"); },
     TermSetInputGroupMembers, kWakes | kSaves, "IN GROUP 1 MEMBER 10000000000000"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("DLYT"); }, TermSetOutputDelay,
     kWakes | kSaves, "OUT 1 DLYT 5"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("GROUP") && l.Has("MEMBER"); },
     TermSetOutputGroupMembers, kWakes | kSaves, "OUT GROUP 2 MEMBER 01000000000000"},
};

const text_command_s kInputLockHelpList[] = {
    {0, "IN xx CH LOCK ON/OFF", TermSetInputChannelLock,
     FormatHelpText(nullptr, "IN xx CH LOCK ON/OFF",
                    {"Set Input:xx L/R Channels Lock/Unlock",
                     "xx=[1...14]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input "
                     "Left,14:USB Input Right",
                     "Note:Only Adjacent Two Inputs Can Be Locked As One L/R Pair Likes Input 1/2 "
                     "Or 3/4 Or USB Left/Right"})},
};

const text_command_s kInputGroupHelpList[] = {
    {0, "IN GROUP zz MEMBER yy", TermSetInputGroupMembers,
     FormatHelpText(nullptr, "IN GROUP zz MEMBER yy",
                    {"Set Input Group:zz Includes yy",
                     "zz=01:Input Group 1",
                     "zz=02:Input Group 2",
                     "zz=03:Input Group 3",
                     "zz=04:Input Group 4",
                     "yy[13]:Analogue CH1 In",
                     "yy[12]:Analogue CH2 In",
                     "yy[11]:Analogue CH3 In",
                     "yy[10]:Analogue CH4 In",
                     "yy[9]:Tarvo CH1 In",
                     "yy[8]:Tarvo CH2 In",
                     "yy[7]:Tarvo CH3 In",
                     "yy[6]:Tarvo CH4 In",
                     "yy[5]:Tarvo CH5 In",
                     "yy[4]:Tarvo CH6 In",
                     "yy[3]:Tarvo CH7 In",
                     "yy[2]:Tarvo CH8 In",
                     "yy[1]:USB Left In",
                     "yy[0]:USB Right In",
                     "[bit]=1:Included [bit]=0:Excluded"})},
};

const text_command_s kOutputLockHelpList[] = {
    {0, "OUT xx CH LOCK ON/OFF", TermSetOutputChannelLock,
     FormatHelpText(nullptr, "OUT xx CH LOCK ON/OFF",
                    {"Set Output:xx L/R Channels Lock/Unlock",
                     "xx=[1...14]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right",
                     "Note:Only Adjacent Two Outputs Can Be Locked As One L/R Pair Likes Output "
                     "1/2 Or 3/4 Or USB Left/Right"})},
};

const text_command_s kOutputDelayGroupHelpList[] = {
    {0, "OUT xx DLYT yy", TermSetOutputDelay,
     FormatHelpText(nullptr, "OUT xx DLYT yy",
                    {"Set Output:xx Delay Time To yy(ms)", "xx=[0]:All Output Ports",
                     "xx=[1...14]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right",
                     "yy=[0...50]:Delay Time,Millisecond"})},
    {0, "OUT GROUP zz MEMBER yy", TermSetOutputGroupMembers,
     FormatHelpText(nullptr, "OUT GROUP zz MEMBER yy",
                    {"Set Output Group:zz Includes yy",
                     "zz=01:Output Group A",
                     "zz=02:Output Group B",
                     "zz=03:Output Group C",
                     "zz=04:Output Group D",
                     "yy[13]:Analogue CH1 Out",
                     "yy[12]:Analogue CH2 Out",
                     "yy[11]:Analogue CH3 Out",
                     "yy[10]:Analogue CH4 Out",
                     "yy[9]:Tarvo CH1 Out",
                     "yy[8]:Tarvo CH2 Out",
                     "yy[7]:Tarvo CH3 Out",
                     "yy[6]:Tarvo CH4 Out",
                     "yy[5]:Tarvo CH5 Out",
                     "yy[4]:Tarvo CH6 Out",
                     "yy[3]:Tarvo CH7 Out",
                     "yy[2]:Tarvo CH8 Out",
                     "yy[1]:USB Left Out",
                     "yy[0]:USB Right Out",
                     "[bit]=1:Included [bit]=0:Excluded"})},
};

}  // namespace

const TextRows kChannelLockRows = SliceOf(kChannelLockRowList);
const TextRows kGroupAndDelayRows = SliceOf(kGroupAndDelayRowList);

const HelpRows kInputLockHelp = SliceOf(kInputLockHelpList);
const HelpRows kInputGroupHelp = SliceOf(kInputGroupHelpList);
const HelpRows kOutputLockHelp = SliceOf(kOutputLockHelpList);
const HelpRows kOutputDelayGroupHelp = SliceOf(kOutputDelayGroupHelpList);
