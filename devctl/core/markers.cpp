#include "devctl/core/markers.h"

#include "devctl/core/stored_file.h"
#include "devctl/hardware/board_lines.h"
#include "devctl/hardware/front_panel_shutdown.h"
#include "platform/storage.h"

int WriteSubIfaceDownFlag() {
  int result = WriteStoredFile("/tmp/enp1s0_down", "1");
  platform::SyncFileSystems();
  return result;
}

int RequestReboot() {
  SetAudioMuteGpio(1);
  ClearRebootGpios();
  ShutdownFrontPanel();
  int result = WriteStoredFile("/tmp/reboot", "1");
  platform::SyncFileSystems();
  return result;
}

int RequestReboot2() { return RequestReboot(); }
