#include "devctl/text/dispatcher.h"

#include <functional>
#include <map>

#include "devctl/core/commit_path.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/markers.h"
#include "devctl/core/pending_network.h"
#include "devctl/core/settings_save.h"
#include "devctl/core/unit_state.h"
#include "devctl/hardware/power_wake.h"
#include "devctl/text/broadcast.h"
#include "devctl/text/dispatch_routes.h"
#include "devctl/text/line_text.h"
#include "platform/state_resets.h"

namespace {

constexpr char kNotFound[] = "[ERROR]Command not found.\r\n";

// Pending RESET questions by the descriptor that asked: the row a YES runs; guarded by the
// configuration lock.
std::map<int, const TextRow*>& ResetConfirms() {
  static std::map<int, const TextRow*> confirms;
  return confirms;
}

bool IsBlank(const char* line, int len) {
  for (int i = 0; i < len; ++i) {
    if (line[i] != '\r' && line[i] != '\n' && line[i] != ' ') return false;
  }
  return true;
}

std::string Prompt() { return g_unit.config.model + ">"; }

// What a line leaves for the frame to do once the configuration lock is released.
struct Dispatched {
  std::string notice;  // sent ahead of the reply: the power-on notice of a wake
  std::string reply;   // "\r\n" and the command's lines, without the prompt
  bool save_live = false;
};

// Runs a row's handler inside the frame its flags ask for (the lock is held).
void RunRow(const TextRow& row, const PreparedLine& line, Dispatched& d) {
  if (row.flags & kWakesWhenOff) {
    if (g_unit.config.power == 0) {
      WakeOnCommand(d.notice);
      d.save_live = true;
    }
  }
  const int power_before = g_unit.config.power;
  if (row.flags & kWakes) WakeOnCommand(d.notice);
  const bool changed = row.handler(line, d.reply);
  if (changed && (row.flags & kWakesAfter)) WakeOnCommand(d.notice);
  if (changed && (row.flags & kSaves)) d.save_live = true;
  // A wake stores the power state: it is saved whatever the command itself did, so the unit comes
  // back on after a restart.
  if (power_before == 0 && g_unit.config.power != 0) d.save_live = true;
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
  NetworkEditStep(p.scope);

  auto confirm = ResetConfirms().find(fd);
  if (confirm != ResetConfirms().end()) {
    const TextRow* asked = confirm->second;
    ResetConfirms().erase(confirm);
    if (p.Begins("YES")) {
      RunRow(*asked, p, d);
    } else if (p.Begins("NO")) {
      d.reply += "[SUCCESS]RESET process ignored.\r\n";
    } else {
      d.reply += "[ERROR]Error answer, RESET process ignored.\r\n";
    }
    return;
  }

  const TextRow* row = FindTextRow(p);
  if (row == nullptr) {
    d.reply += kNotFound;
  } else if (row->question) {
    d.reply += row->question;
    ResetConfirms()[fd] = row;
  } else {
    RunRow(*row, p, d);
  }
}

}  // namespace

const TextRow* PendingConfirmation(int fd) {
  ConfigLock lock;
  auto it = ResetConfirms().find(fd);
  return it == ResetConfirms().end() ? nullptr : it->second;
}

void ForgetResetConfirm(int fd) {
  ConfigLock lock;
  ResetConfirms().erase(fd);
}

void ClearResetConfirms() {
  ConfigLock lock;
  ResetConfirms().clear();
}

namespace {
const platform::StateReset kReset(ClearResetConfirms);
}  // namespace

void DispatchLineInOrder(int fd, char* line, int len,
                         const std::function<void(const std::string&)>& tell) {
  if (len < 0) len = 0;
  Dispatched d;
  bool blank = false;
  CommitChange(
      [&] {
        ApplyBackspaces(line, &len);
        blank = len == 0 || IsBlank(line, len);
        if (!blank) DispatchLocked(fd, line, len, d);
        return d.save_live;
      },
      [&](bool saved) {
        if (!saved) d.reply += kSaveFailedLine;
        std::string text;
        {
          ConfigLock lock;
          text = blank ? "\r\n" + Prompt() : d.notice + d.reply + Prompt();
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
