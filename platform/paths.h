// Every absolute path of the unit ("/oem/app.json", "/dev/i2c-3", "/sys/class/gpio/...") is
// resolved here. On the board the root is empty and the path is used as it stands; the simulated
// build puts everything below one folder, taken from DEVCTL_SIM_ROOT or set by a test.
#pragma once

#include <string>

namespace platform {

// The folder every absolute path is placed under ("" on the board).
std::string Root();

// Replaces the root (simulated build only; ignored on the board). Call before threads start.
void SetRoot(const std::string& root);

// Resolves an absolute unit path to the file the process really opens.
std::string Path(const std::string& absolute);

// Creates the folders leading to an already resolved path (mkdir -p of its parent).
bool MakeParentDirs(const std::string& resolved);

}  // namespace platform
