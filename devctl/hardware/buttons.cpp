#include "devctl/hardware/buttons.h"

#include <string>

#include "devctl/core/config_lock.h"
#include "devctl/core/notices.h"
#include "devctl/core/reset_changes.h"
#include "devctl/core/unit_commit.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/hardware/panel_state.h"

namespace {

// The prompt that follows a notice's line.
std::string ModelPrompt() {
  ConfigReadLock lock;  // reads only
  return g_unit.config.model + ">";
}

}  // namespace

void HandleUsbSelectButton() {
  CommitUnitChange([](UnitNotice& notice) {
    if (g_unit.config.key_lock != 0) return false;
    g_unit.config.usb_status = g_unit.config.usb_status == 1 ? 0 : 1;
    notice.lines = g_unit.config.usb_status == 0 ? "[SUCCESS]Set USB port to USB-C\r\n"
                                                 : "[SUCCESS]Set USB port to USB-B\r\n";
    notice.prompt = g_unit.config.model + ">";
    notice.network_only = true;
    return true;
  });
}

void HandleResetKey(reset_key_long state) {
  switch (state) {
    case RESET_KEY_LONG_HELD_2S:
      g_panel.reset_key_blink = 1;
      break;
    case RESET_KEY_LONG_HELD_4S:
      g_panel.reset_key_blink = 2;
      ResetAllFromUnit(g_unit, [](const char* line) { SendNetworkNotice(line + ModelPrompt()); });
      break;
    case RESET_KEY_LONG_RELEASED:
      if (g_panel.reset_key_blink == 1) {
        g_panel.reset_key_blink = 0;
        int port;
        {
          ConfigReadLock lock;  // reads only
          port = g_unit.config.usb_status;
        }
        SetUsbPortLeds(port);
      }
      break;
  }
}
