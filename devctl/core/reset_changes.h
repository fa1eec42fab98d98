// The commands that end in a reboot, as the text commands, the web and the front panel make
// them. Each asks for the reboot only when its change is on disk, and answers a client before the
// board may restart (markers.h). A command that cannot do all of it
// changes nothing and says why in lines.
#pragma once

#include <functional>
#include <string>

#include "devctl/core/unit_state.h"

// The reply lines of the two failures.
constexpr char kSaveFailedReply[] = "[ERROR]Settings could not be saved.\r\n";
constexpr char kRebootFailedReply[] = "[ERROR]Reboot could not be requested.\r\n";

enum class RebootOutcome {
  kRebooting,     // done; the reboot follows the reply
  kSaveFailed,    // nothing changed: the settings could not be saved
  kRebootFailed,  // nothing changed: the reboot marker could not be written
};

// The shape of every such command: the reboot marker staged first, then change() (which saves
// what it changes and returns false, with nothing changed, when it could not); then the unit is
// muted and its panel shut down, and the marker goes in place once the reply is out. When
// change() fails the staged marker is taken back.
RebootOutcome ChangeAndReboot(const std::function<bool()>& change);

// The line a text reply carries for an outcome: the command's own success line, or the failure.
const char* OutcomeLine(RebootOutcome outcome, const char* success_line);

// The system reset (factory_reset.h), then the reboot. Success line "[SUCCESS]System reset,
// please wait a moment...".
RebootOutcome ResetSystemSettingsAndReboot(UnitState& unit);

// The reset of everything into the live record (ResetAllSettings), then the reboot. Success line
// "[SUCCESS]System reset all, please wait a moment...".
RebootOutcome ResetAllSettingsAndReboot(UnitState& unit);

// The same reset into a fresh record for the next start only (ResetAllForNextStart, the web): the
// live record stays as it is. The same success line.
RebootOutcome ResetAllForNextStartAndReboot(UnitState& unit);

// The reset of everything asked for on the unit itself (the reset key, the panel's factory-reset
// page), where no client waits for a reply: the reset into the live record, then announce() with
// the line for the clients, then the reboot request at once. When the reset could not be saved,
// announce() gets kSaveFailedReply, nothing changed and no reboot is asked for.
void ResetAllFromUnit(UnitState& unit, const std::function<void(const char* line)>& announce);

// The live record saved (a unit woken from standby comes back on) and the reboot. Success line
// "[SUCCESS]System reboot, please wait a moment...".
RebootOutcome RebootUnit(UnitState& unit);

// The reboot alone: nothing is saved (every setting is on disk when it changes).
RebootOutcome RebootWithoutSave();

constexpr char kSystemResetLine[] = "[SUCCESS]System reset, please wait a moment...\r\n";
constexpr char kResetAllLine[] = "[SUCCESS]System reset all, please wait a moment...\r\n";
constexpr char kRebootLine[] = "[SUCCESS]System reboot, please wait a moment...\r\n";
