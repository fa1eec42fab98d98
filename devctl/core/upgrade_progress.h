// Progress of a staged upgrade as the web page shows it. The figure is not measured: it grows with
// the time since the staging, and the installation counts as done once the board's scripts have
// removed the package's marker file.
#pragma once

namespace upgrade {

constexpr int kSystemPackageType = 1;
constexpr int kNetaudioPackageType = 2;

struct UpgradeProgress {
  int upgrade_type = 0;  // 1 when a package of the type was staged since devctl started
  int status = 0;        // 0..99 while installing, 100 when done
};

// The progress of the package type (1 system, 2 network audio; any other type: 0, 0). When the
// installation is done, the unit's reboot is requested (again on every later poll).
UpgradeProgress PollUpgradeProgress(int type);

}  // namespace upgrade
