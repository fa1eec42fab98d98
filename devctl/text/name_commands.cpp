#include "devctl/text/name_commands.h"

#include <cstring>

#include "devctl/core/channel_names.h"
#include "devctl/core/globals.h"
#include "devctl/core/limits.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

namespace {

constexpr int kNoChannel = -65535;

// Everything after the first "NAME" up to the line end.
std::string NameText(const char* line) {
  const char* at = std::strstr(line, "NAME");
  if (at == nullptr) return std::string();
  at += 4;
  return std::string(at, std::strcspn(at, "\r\n"));
}

bool SetName(int side, const char* line, const char* pattern, const char* what,
             std::string& reply) {
  int channel = kNoChannel;
  ScanText(line, pattern, &channel);
  const std::string name = NameText(line);
  if (name.empty() || name.size() > static_cast<size_t>(kMaxNameLength) ||
      !IsDisplayableName(name) || channel < 1 || channel > kMaxChannelNumber) {
    return RefuseRange(what, reply);
  }
  return SetChannelName(side, channel, name, reply);
}

}  // namespace

bool TermSetInputName(int, char* line, int, std::string& reply) {
  return SetName(EQ_SIDE_INPUT, line, "IN%d", "Set input name", reply);
}

bool TermSetOutputName(int, char* line, int, std::string& reply) {
  return SetName(EQ_SIDE_OUTPUT, line, "OUT%d", "Set output name", reply);
}
