#include "devctl/hardware/buttons.h"

#include <string>

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"
#include "devctl/core/notices.h"
#include "devctl/core/reset_changes.h"
#include "devctl/devices/board_lines.h"

std::atomic<int> g_reset_key_blink{0};

namespace {

// The prompt that follows a notice's line.
std::string ModelPrompt() {
  ConfigReadLock lock;  // reads only
  return g_app_config.model + ">";
}

}  // namespace

void HandleUsbSelectButton() {
  std::string text;
  {
    ConfigLock lock;
    if (g_app_config.key_lock != 0) return;
    g_app_config.usb_status = g_app_config.usb_status == 1 ? 0 : 1;
    SaveAppConfig(g_config_path, &g_app_config);
    text = g_app_config.usb_status == 0 ? "[SUCCESS]Set USB port to USB-C\r\n"
                                        : "[SUCCESS]Set USB port to USB-B\r\n";
  }
  SendNetworkNotice(text + ModelPrompt());
}

void HandleResetKey(reset_key_long state) {
  switch (state) {
    case RESET_KEY_LONG_HELD_2S:
      g_reset_key_blink = 1;
      break;
    case RESET_KEY_LONG_HELD_4S:
      g_reset_key_blink = 2;
      ResetAllFromUnit([](const char* line) { SendNetworkNotice(line + ModelPrompt()); });
      break;
    case RESET_KEY_LONG_RELEASED:
      if (g_reset_key_blink == 1) {
        g_reset_key_blink = 0;
        int port;
        {
          ConfigReadLock lock;  // reads only
          port = g_app_config.usb_status;
        }
        SetUsbPortLeds(port);
      }
      break;
  }
}
