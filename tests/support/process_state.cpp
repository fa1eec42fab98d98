#include "tests/support/process_state.h"

#include <cstring>
#include <mutex>

#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"
#include "devctl/core/markers.h"
#include "devctl/core/notices.h"
#include "devctl/core/presets.h"
#include "devctl/core/upgrade_staging.h"
#include "devctl/hardware/buttons.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/front_panel_shutdown.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/io_expander.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/menu_pages.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_state.h"
#include "devctl/hardware/usb_port.h"
#include "devctl/text/control_ports.h"
#include "devctl/text/dispatcher.h"
#include "devctl/text/greetings.h"
#include "platform/storage.h"

namespace testsupport {

void ResetProcessState() {
  {
    ConfigLock lock;
    g_app_config = app_config_s();
    for (app_config_s& preset : g_preset_configs) preset = app_config_s();
    g_pending_config = app_config_s();
    g_config_path.clear();
    g_net_status = app_config_s();
    g_device_identity = device_identity_s();
    g_net_edit_pending = false;
  }
  ClearResetConfirms();
  ResetNoticeSinks();
  platform::FailWritesAfter(-1);
  platform::FailWritesUnder("");
  platform::SetAvailableBytesForTest(-1);
  ResetRebootRequest();
  DspHoldAllMutes(kMuteHoldStandby | kMuteHoldPhantom | kMuteHoldUsbSwitch, false);

  g_uart_banner_sent = 0;
  g_power_applied = 0;
  g_deep_sleep = 0;
  g_auto_standby_state = 1;
  g_backlight_countdown = -1;
  g_pending_preset = 0;
  g_usb_port_applied = 0;
  g_reset_key_blink = 0;
  g_panel_thread_stop = 0;
  g_lcd_page = 2;
  g_lcd_idle_ticks = 20;
  g_panel_notice = 0;
  g_blink_phantom = 0;
  g_blink_usb = 0;
  g_blink_network = 0;
  g_telnet_restart = false;
  g_tcp_restart = false;
  g_uart_restart = false;
  {
    std::lock_guard<std::mutex> lock(g_ioexp_mutex);
    g_ioexp_shadow_18 = 0;
    g_ioexp_shadow_19 = 0x44;  // as at start
    g_ioexp_shadow_1b = 0x44;
    g_ioexp_shadow_1f = 0;
  }
  {
    std::lock_guard<std::mutex> lock(g_lcd_mutex);
    std::memset(g_lcd_shadow, 0, sizeof g_lcd_shadow);
  }
  g_power_settled = false;
  g_boot_screen_up = false;
  g_netaudio_upgrade_time = 0;
  g_app_upgrade_time = 0;
  GpioCloseAll();
}

}  // namespace testsupport
