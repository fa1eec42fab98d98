#include "devctl/text/dispatcher.h"

#include <cctype>
#include <cstring>
#include <map>

#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"
#include "devctl/core/pending_network.h"
#include "devctl/text/broadcast.h"
#include "devctl/text/dispatch_routes.h"
#include "devctl/text/line_text.h"

namespace {

constexpr int kCondensedSize = 1024;
constexpr char kNotFound[] = "[ERROR]Command not found.\r\n";

// Pending RESET questions by the descriptor that asked; guarded by the configuration lock.
std::map<int, int>& ResetConfirms() {
  static std::map<int, int> confirms;
  return confirms;
}

bool IsBlank(const char* line, int len) {
  for (int i = 0; i < len; ++i) {
    if (line[i] != '\r' && line[i] != '\n' && line[i] != ' ') return false;
  }
  return true;
}

std::string Prompt() { return g_app_config.model + ">"; }

void RunRoute(const TextRoute& route, int fd, char* condensed, int count, std::string& reply) {
  if (route.handler) route.handler(fd, condensed, count, reply);
  else reply += kNotFound;
}

}  // namespace

int ResetConfirmState(int fd) {
  ConfigLock lock;
  auto it = ResetConfirms().find(fd);
  return it == ResetConfirms().end() ? 0 : it->second;
}

void ForgetResetConfirm(int fd) {
  ConfigLock lock;
  ResetConfirms().erase(fd);
}

void ClearResetConfirms() {
  ConfigLock lock;
  ResetConfirms().clear();
}

void AppendHelpListing(std::string& reply) {
  const std::string rule(65, '=');
  reply += "\r\n" + rule + "\r\n";
  reply += "      " + g_app_config.model + " Help Info\r\n";
  reply += "      FW Version:MCU_Main " + g_device_identity.main_version + "/MCU_Sub " +
           g_device_identity.mcu_version + "/NETAUDIO_SDK " + g_device_identity.netaudio_version +
           "\r\n\r\n";
  const std::string& type = g_app_config.type;
  const bool tx = type.compare(0, 2, "TX") == 0, rx = type.compare(0, 2, "RX") == 0;
  for (const text_command_s& entry : g_text_commands) {
    if (entry.help.empty()) continue;  // an entry whose command is not in this build
    if ((tx && entry.variant == 2) || (rx && entry.variant == 1)) continue;
    reply += entry.help + "\r\n";
  }
  reply += rule + "\r\n\r\n";
}

bool PrepareLine(char* line, int len, PreparedLine* p) {
  p->count = StripSpaces(line, len, p->condensed, PreparedLine::kSize - 1);
  if (p->count < 0) return false;
  for (int i = 0; i < len; ++i) {
    line[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[i])));
  }
  char upper[PreparedLine::kSize] = {};
  for (int i = 0; i < p->count; ++i) {
    upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(p->condensed[i])));
  }
  // Names keep the case they were typed in: only the text up to the first NAME is upper-cased.
  const char* name = std::strstr(upper, "NAME");
  const int upper_to = name ? static_cast<int>(name - upper) + 4 : p->count;
  std::memcpy(p->condensed, upper, upper_to);
  p->scope.assign(upper, name ? static_cast<size_t>(name - upper) : static_cast<size_t>(p->count));
  return true;
}

std::string DispatchLine(int fd, char* line, int len) {
  if (len < 0) len = 0;
  ApplyBackspaces(line, &len);
  if (len == 0 || IsBlank(line, len)) return "\r\n" + Prompt();

  std::string reply = "\r\n";
  PreparedLine p;
  // A line too long for the condensed buffer is refused whole: cutting it could turn it into
  // another valid command.
  if (!PrepareLine(line, len, &p)) return reply + kNotFound + Prompt();
  char* condensed = p.condensed;
  const int count = p.count;
  const std::string& scope = p.scope;

  NetworkEditStep(scope);

  auto confirm = ResetConfirms().find(fd);
  if (confirm != ResetConfirms().end()) {
    const int asked = confirm->second;
    ResetConfirms().erase(confirm);
    if (std::strncmp(condensed, "YES", 3) == 0) {
      RunRoute(asked == 2 ? kRouteResetAll : kRouteResetSystem, fd, condensed, count, reply);
    } else if (std::strncmp(condensed, "NO", 2) == 0) {
      reply += "[SUCCESS]RESET process ignored.\r\n";
    } else {
      reply += "[ERROR]Error answer, RESET process ignored.\r\n";
    }
    return reply + Prompt();
  }

  const TextRoute* route = FindTextRoute(condensed, line, len);
  if (route == &kRouteResetAllRequest) {
    reply += "Sure to reset system and network settings to default? Type \"Yes\" after next prompt to confirm...\r\n";
    ResetConfirms()[fd] = 2;
  } else if (route == &kRouteResetRequest) {
    reply += "Sure to reset system settings to default? Type \"Yes\" after next prompt to confirm...\r\n";
    ResetConfirms()[fd] = 1;
  } else if (route == &kRouteHelp) {
    AppendHelpListing(reply);
  } else if (route) {
    RunRoute(*route, fd, condensed, count, reply);
  } else {
    reply += kNotFound;
  }
  return reply + Prompt();
}

void TermDispatchLine(int fd, char* line, int len) {
  std::string reply;
  {
    ConfigLock lock;
    reply = DispatchLine(fd, line, len);
  }
  BroadcastToPorts(reply);
}
