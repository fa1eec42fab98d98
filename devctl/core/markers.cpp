#include "devctl/core/markers.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "devctl/core/stored_file.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_panel_shutdown.h"
#include "platform/paths.h"
#include "platform/state_resets.h"
#include "platform/storage.h"

namespace {

constexpr char kRebootMarker[] = "/tmp/reboot";
// The marker's content waits here until the request is made; a name the board's watcher ignores.
constexpr char kStagedMarker[] = "/tmp/reboot.staged";

std::atomic<bool> g_reboot_requested{false};
thread_local bool t_reboot_after_reply = false;

// The staged marker moved into place: a rename within /tmp, which needs no space of its own.
bool PlaceMarker() {
  const std::string staged = platform::Path(kStagedMarker);
  const std::string marker = platform::Path(kRebootMarker);
  if (std::rename(staged.c_str(), marker.c_str()) != 0) {
    unlink(staged.c_str());
    return false;
  }
  platform::SyncFileSystems();
  return true;
}

void ShutDownForReboot() {
  SetAudioMuteGpio(1);
  ClearRebootGpios();
  ShutdownFrontPanel();
}

bool PlaceStagedMarker() {
  if (!PlaceMarker()) {
    std::printf("reboot marker could not be put in place\n");
    return false;
  }
  g_reboot_requested = true;
  return true;
}

}  // namespace

int WriteSubIfaceDownFlag() {
  int result = WriteStoredFile("/tmp/enp1s0_down", "1");
  platform::SyncFileSystems();
  return result;
}

int RequestReboot() {
  if (!StageRebootMarker()) return -1;
  ShutDownForReboot();
  return PlaceStagedMarker() ? 0 : -1;
}

bool StageRebootMarker() {
  if (WriteStoredFile(kStagedMarker, "1") == 0) return true;
  std::printf("reboot marker could not be written\n");
  return false;
}

void DropStagedRebootMarker() { unlink(platform::Path(kStagedMarker).c_str()); }

void RebootAfterReply() {
  ShutDownForReboot();
  t_reboot_after_reply = true;
}

void RunRebootAfterReply() {
  if (!t_reboot_after_reply) return;
  t_reboot_after_reply = false;
  PlaceStagedMarker();
}

bool RebootRequested() { return g_reboot_requested.load(); }

void ResetRebootRequest() {
  g_reboot_requested = false;
  t_reboot_after_reply = false;
}

namespace {
const platform::StateReset kReset(ResetRebootRequest);
}  // namespace
