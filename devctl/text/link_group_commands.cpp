#include "devctl/text/link_group_commands.h"

#include <cstring>

#include "devctl/core/globals.h"
#include "devctl/core/group_members.h"
#include "devctl/core/limits.h"
#include "devctl/core/links_groups.h"
#include "devctl/core/output_changes.h"
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
  return SetGroupMembers(side, group - 1, members, reply);
}

}  // namespace

bool TermSetInputChannelLock(int, char* line, int, std::string& reply) {
  int channel = kNoChannel;
  ScanText(line, "IN%d", &channel);
  if (!IsChannel(channel)) {
    return RefuseRange("Set input lock", reply);
  }
  const int lock = LockOf(line);
  // Neither ON nor OFF: no change, no line; saved all the same.
  if (lock >= 0) SetInputPairLink((channel - 1) / 2, lock, LinkSettings::kKeep, reply);
  return true;
}

bool TermSetOutputChannelLock(int, char* line, int, std::string& reply) {
  int channel = kNoChannel;
  ScanText(line, "OUT%d", &channel);
  if (!IsChannel(channel)) {
    return RefuseRange("Set output lock", reply);
  }
  const int lock = LockOf(line);
  if (lock >= 0) {
    SetOutputPairLink((channel - 1) / 2, lock, LinkSettings::kKeep, reply);
  } else {
    reply += "\r\n";
  }
  return true;
}

bool TermSetInputGroupMembers(int, char* line, int, std::string& reply) {
  return GroupMembers(EQ_SIDE_INPUT, line, "INGROUP%dMEMBER", "Input group member", reply);
}

bool TermSetOutputGroupMembers(int, char* line, int, std::string& reply) {
  return GroupMembers(EQ_SIDE_OUTPUT, line, "OUTGROUP%dMEMBER", "Output group member", reply);
}

bool TermSetOutputDelay(int, char* line, int, std::string& reply) {
  int channel = 0, ms = -1;
  // Without a channel number the line means all outputs, and the delay still counts.
  if (ScanText(line, "OUT%dDLYT%d", &channel, &ms) == 0) ScanText(line, "OUTDLYT%d", &ms);
  if (static_cast<unsigned>(channel) > kLastChannelNumber || ms < kMinDelayMs || ms > kMaxDelayMs) {
    return RefuseRange("Output delay time", reply);
  }
  if (channel == 0) {
    SetAllOutputsDelay(ms, reply);
  } else {
    SetOutputDelay(channel - 1, ms, DelayChange::kImmediate, reply);
  }
  return true;
}
