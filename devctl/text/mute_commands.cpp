#include "devctl/text/mute_commands.h"

#include <cstring>

#include "devctl/core/globals.h"
#include "devctl/core/input_changes.h"
#include "devctl/core/limits.h"
#include "devctl/core/output_changes.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

namespace {

// 1 mute, 0 unmute, -1 undecided. A channel decides by "MUTEON" anywhere, else "MUTEOFF"; all
// channels (0) decide at the first "MUTE" of the line.
int MuteOf(const char* line, int channel) {
  if (channel != 0) return std::strstr(line, "MUTEON") ? 1 : (std::strstr(line, "MUTEOFF") ? 0 : -1);
  const char* at = std::strstr(line, "MUTE");
  if (at == nullptr) return -1;
  if (BeginsWith(at, "MUTEON")) return 1;
  if (BeginsWith(at, "MUTEOFF")) return 0;
  return -1;
}

}  // namespace

bool TermSetInputMute(int, char* line, int, std::string& reply) {
  int channel = -1;
  ScanText(line, "IN%d", &channel);
  if (!IsChannelOrGroupNumber(channel)) return RefuseRange("Set input mute", reply);
  const int m = MuteOf(line, channel);
  // An undecided "all" line changes nothing and still saves, as the unit always has.
  if (m < 0) return true;
  if (channel == 0) {
    SetAllInputsMute(m, reply);
  } else if (channel >= kFirstGroupNumber) {
    SetInputGroupMute(channel - kFirstGroupNumber, m, reply);
  } else {
    SetInputChannelMute(channel - 1, m, reply);
  }
  return true;
}

bool TermSetOutputMute(int, char* line, int, std::string& reply) {
  int channel = 0;
  ScanText(line, "OUT%d", &channel);
  if (!IsChannelOrGroupNumber(channel)) return RefuseRange("Set output mute", reply);
  const int m = MuteOf(line, channel);
  if (m < 0) {
    reply += "\r\n";
    return true;
  }
  if (channel == 0) {
    SetAllOutputsMute(m, reply);
  } else if (channel >= kFirstGroupNumber) {
    SetOutputGroupMute(channel - kFirstGroupNumber, m, UsbMemberLine::kWithoutPeriod, reply);
  } else {
    SetOutputChannelMute(channel - 1, m, reply);
  }
  return true;
}
