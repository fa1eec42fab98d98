#include "devctl/core/unit_commit.h"

#include "devctl/core/commit_path.h"
#include "devctl/core/notices.h"
#include "devctl/core/settings_save.h"

namespace {

void Tell(const UnitNotice& notice, bool saved) {
  if (!notice.network_only) {
    SendNotice(notice.lines + (saved ? "" : kSaveFailedLine) + notice.prompt);
    return;
  }
  // The failed save concerns every port; the change itself only the network clients.
  SendNetworkNotice(notice.lines);
  if (!saved) SendNotice(kSaveFailedLine);
  SendNetworkNotice(notice.prompt);
}

}  // namespace

UnitCommit CommitUnitChange(const std::function<bool(UnitNotice&)>& change,
                            const std::function<void(const UnitCommit&)>& before_notice) {
  UnitNotice notice;
  UnitCommit outcome;
  CommitChange([&] { return outcome.changed = change(notice); },
               [&](bool saved) {
                 outcome.saved = saved;
                 if (before_notice) before_notice(outcome);
                 Tell(notice, saved);
               });
  return outcome;
}
