#include "devctl/core/upgrade_progress.h"

#include <algorithm>
#include <cstdint>

#include "devctl/core/markers.h"
#include "devctl/core/stored_file.h"
#include "devctl/core/upgrade_staging.h"
#include "platform/clock.h"

namespace upgrade {
namespace {

constexpr int kLastRunningFigure = 99;
constexpr int kDone = 100;

}  // namespace

UpgradeProgress PollUpgradeProgress(int type) {
  int64_t staged_ms = 0;
  const char* marker = nullptr;
  if (type == kSystemPackageType) {
    staged_ms = AppStagedAtMs();
    marker = kAppMarker;
  } else if (type == kNetaudioPackageType) {
    staged_ms = NetaudioStagedAtMs();
    marker = kNetaudioMarker;
  }
  UpgradeProgress progress;
  if (staged_ms == 0) return progress;
  progress.upgrade_type = 1;
  if (!UnitFileExists(marker)) {
    RequestReboot();
    progress.status = kDone;
    return progress;
  }
  int64_t elapsed_s = (platform::NowMs() - staged_ms) / 1000;
  // The system package takes about 12 s, the network-audio package about 20 s.
  int64_t figure = type == kSystemPackageType ? elapsed_s * 100 / 12 : elapsed_s * 5;
  progress.status = static_cast<int>(std::clamp<int64_t>(figure, 0, kLastRunningFigure));
  return progress;
}

}  // namespace upgrade
