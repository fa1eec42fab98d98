#include "devctl/text/dispatcher.h"

#include <cctype>
#include <cstring>
#include <functional>
#include <map>
#include <memory>

#include "devctl/core/commit_order.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"
#include "devctl/core/markers.h"
#include "devctl/core/pending_network.h"
#include "devctl/core/settings_save.h"
#include "devctl/hardware/power_wake.h"
#include "devctl/text/broadcast.h"
#include "devctl/text/dispatch_routes.h"
#include "devctl/text/line_text.h"

namespace {

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

// What a line leaves for the frame to do once the configuration lock is released.
struct Dispatched {
  std::string notice;  // sent ahead of the reply: the power-on notice of a wake
  std::string reply;   // "\r\n" and the command's lines, without the prompt
  bool save_live = false;
};

// Runs a command's handler inside the frame its route asks for (the lock is held).
void RunRoute(const TextRoute& route, int fd, char* condensed, int count, Dispatched& d) {
  if (!route.handler) {
    d.reply += kNotFound;
    return;
  }
  if (route.flags & kWakesWhenOff) {
    if (g_app_config.power == 0) {
      WakeOnCommand(&d.notice);
      d.save_live = true;
    }
  }
  const int power_before = g_app_config.power;
  if (route.flags & kWakes) WakeOnCommand(&d.notice);
  const bool changed = route.handler(fd, condensed, count, d.reply);
  if (changed && (route.flags & kWakesAfter)) WakeOnCommand(&d.notice);
  if (changed && (route.flags & kSaves)) d.save_live = true;
  // A wake stores the power state: it is saved whatever the command itself did, so the unit comes
  // back on after a restart.
  if (power_before == 0 && g_app_config.power != 0) d.save_live = true;
}

// Everything of a non-blank line that needs the configuration lock.
void DispatchLocked(int fd, char* line, int len, Dispatched& d) {
  d.reply = "\r\n";
  PreparedLine p;
  // A line too long for the condensed buffer is refused whole: cutting it could turn it into
  // another valid command.
  if (!PrepareLine(line, len, &p)) {
    d.reply += kNotFound;
    return;
  }
  char* condensed = p.condensed;
  const int count = p.count;

  NetworkEditStep(p.scope);

  auto confirm = ResetConfirms().find(fd);
  if (confirm != ResetConfirms().end()) {
    const int asked = confirm->second;
    ResetConfirms().erase(confirm);
    if (std::strncmp(condensed, "YES", 3) == 0) {
      RunRoute(asked == 2 ? kTermResetAll : kTermResetSystem, fd, condensed, count, d);
    } else if (std::strncmp(condensed, "NO", 2) == 0) {
      d.reply += "[SUCCESS]RESET process ignored.\r\n";
    } else {
      d.reply += "[ERROR]Error answer, RESET process ignored.\r\n";
    }
    return;
  }

  const TextRoute* route = FindTextRoute(condensed, line, len);
  if (route == &kRouteResetAllRequest) {
    d.reply += "Sure to reset system and network settings to default? Type \"Yes\" after next prompt to confirm...\r\n";
    ResetConfirms()[fd] = 2;
  } else if (route == &kRouteResetRequest) {
    d.reply += "Sure to reset system settings to default? Type \"Yes\" after next prompt to confirm...\r\n";
    ResetConfirms()[fd] = 1;
  } else if (route == &kRouteHelp) {
    AppendHelpListing(d.reply, g_text_commands, g_text_command_count);
  } else if (route) {
    RunRoute(*route, fd, condensed, count, d);
  } else {
    d.reply += kNotFound;
  }
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

void AppendHelpListing(std::string& reply, const text_command_s* table, size_t count) {
  const std::string rule(65, '=');
  reply += "\r\n" + rule + "\r\n";
  reply += "      " + g_app_config.model + " Help Info\r\n";
  reply += "      FW Version:MCU_Main " + g_device_identity.main_version + "/MCU_Sub " +
           g_device_identity.mcu_version + "/NETAUDIO_SDK " + g_device_identity.netaudio_version +
           "\r\n\r\n";
  const std::string& type = g_app_config.type;
  const bool tx = type.compare(0, 2, "TX") == 0, rx = type.compare(0, 2, "RX") == 0;
  for (size_t i = 0; i < count; ++i) {
    const text_command_s& entry = table[i];
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

void DispatchLineInOrder(int fd, char* line, int len,
                         const std::function<void(const std::string&)>& tell) {
  if (len < 0) len = 0;
  Dispatched d;
  std::unique_ptr<CommitTicket> ticket;
  {
    ConfigLock lock;
    ApplyBackspaces(line, &len);
    if (len == 0 || IsBlank(line, len)) {
      tell("\r\n" + Prompt());
      return;
    }
    DispatchLocked(fd, line, len, d);
    ticket = std::make_unique<CommitTicket>();
  }
  bool saved = true;
  if (d.save_live) saved = SaveLiveSettings() && saved;
  if (!saved) d.reply += kSaveFailedLine;
  ticket->Tell([&] {
    std::string text;
    {
      ConfigLock lock;
      text = d.notice + d.reply + Prompt();
    }
    tell(text);
  });
}

std::string DispatchLine(int fd, char* line, int len) {
  std::string text;
  DispatchLineInOrder(fd, line, len, [&text](const std::string& t) { text = t; });
  return text;
}

void TermDispatchLine(int fd, char* line, int len) {
  DispatchLineInOrder(fd, line, len, BroadcastToPorts);
  // A command that asked for a reboot has its reply queued to every port before the board may
  // restart.
  RunRebootAfterReply();
}
