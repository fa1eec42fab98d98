// Changes the unit makes itself (the front panel's setting pages and keys, the USB button, auto
// standby) take the commit path of a command (commit_path.h) and tell a failed save as a command
// does.
#pragma once

#include <functional>
#include <string>

// What such a change tells the control ports.
struct UnitNotice {
  std::string lines;          // its lines, each ending "\r\n" ("" tells nothing)
  std::string outcome_lines;  // what the save's outcome made of the change (a take-back's line),
                              // told after the failed-save line
  std::string prompt;         // what follows them, e.g. the model prompt after a key
  bool network_only = false;  // for the raw TCP and telnet clients only, not the RS-232 port
};

struct UnitCommit {
  bool changed = false;  // the change returned true, so the live settings were saved
  bool saved = true;     // false when that save failed
};

// Runs change with the configuration lock held: it fills the notice and returns whether it changed
// the live settings. The save follows once the lock is released. Then, in the change's turn:
// before_notice (when given) with the outcome and the notice, for what the panel shows ahead of
// the notice and what the outcome adds to it (later changes are told after it; keep it short, every
// other change's notice waits for it); the notice's lines; when the save failed, the failed-save
// line; the outcome's lines; the prompt, all to the ports the change is told to. Call without the
// configuration lock.
UnitCommit CommitUnitChange(
    const std::function<bool(UnitNotice&)>& change,
    const std::function<void(const UnitCommit&, UnitNotice&)>& before_notice = nullptr);
