#include "devctl/core/reset_changes.h"

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/factory_reset.h"
#include "devctl/core/markers.h"
#include "devctl/core/unit_state.h"
#include "platform/storage.h"

RebootOutcome ChangeAndReboot(const std::function<bool()>& change) {
  if (!StageRebootMarker()) return RebootOutcome::kRebootFailed;
  if (!change()) {
    DropStagedRebootMarker();
    return RebootOutcome::kSaveFailed;
  }
  RebootAfterReply();
  return RebootOutcome::kRebooting;
}

const char* OutcomeLine(RebootOutcome outcome, const char* success_line) {
  switch (outcome) {
    case RebootOutcome::kRebooting:
      return success_line;
    case RebootOutcome::kSaveFailed:
      return kSaveFailedReply;
    case RebootOutcome::kRebootFailed:
      return kRebootFailedReply;
  }
  return kSaveFailedReply;
}

RebootOutcome ResetSystemSettingsAndReboot(UnitState& unit) {
  return ChangeAndReboot([&unit] { return ResetSystemSettings(unit); });
}

RebootOutcome ResetAllSettingsAndReboot(UnitState& unit) {
  return ChangeAndReboot([&unit] { return ResetAllSettings(unit); });
}

RebootOutcome ResetAllForNextStartAndReboot(UnitState& unit) {
  return ChangeAndReboot([&unit] { return ResetAllForNextStart(unit); });
}

void ResetAllFromUnit(UnitState& unit, const std::function<void(const char* line)>& announce) {
  // The reset stands only once it is on disk; then the reboot.
  if (!ResetAllSettings(unit)) {
    announce(kSaveFailedReply);
    return;
  }
  announce(kResetAllLine);
  RequestReboot();
}

RebootOutcome RebootUnit(UnitState& unit) {
  return ChangeAndReboot([&unit] {
    ConfigLock lock;
    if (!SaveAppConfig(unit.config_path, &unit.config)) return false;
    platform::SyncFileSystems();
    return true;
  });
}

RebootOutcome RebootWithoutSave() {
  return ChangeAndReboot([] { return true; });
}
