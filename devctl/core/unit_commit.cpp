#include "devctl/core/unit_commit.h"

#include "devctl/core/commit_path.h"
#include "devctl/core/notices.h"
#include "devctl/core/settings_save.h"

namespace {

// The failed-save line goes with the change: a port never told of the change hears nothing of it.
void Tell(const UnitNotice& notice, bool saved) {
  const std::string text =
      notice.lines + (saved ? "" : kSaveFailedLine) + notice.outcome_lines + notice.prompt;
  if (notice.network_only)
    SendNetworkNotice(text);
  else
    SendNotice(text);
}

}  // namespace

UnitCommit CommitUnitChange(
    const std::function<bool(UnitNotice&)>& change,
    const std::function<void(const UnitCommit&, UnitNotice&)>& before_notice) {
  UnitNotice notice;
  UnitCommit outcome;
  CommitChange([&] { return outcome.changed = change(notice); },
               [&](bool saved) {
                 outcome.saved = saved;
                 if (before_notice) before_notice(outcome, notice);
                 Tell(notice, saved);
               });
  return outcome;
}
