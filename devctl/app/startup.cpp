#include "devctl/app/startup.h"

#include <string>

#include "devctl/app/service_loop.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/identity.h"
#include "devctl/core/markers.h"
#include "devctl/core/netaudio_version.h"
#include "devctl/core/network_files.h"
#include "devctl/core/presets.h"
#include "devctl/core/timer.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_boot.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/dsp_watcher.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/io_expander.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/apply_config.h"
#include "devctl/hardware/auto_standby.h"
#include "devctl/hardware/buttons.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_thread.h"
#include "devctl/hardware/phantom_power.h"
#include "devctl/hardware/power.h"
#include "devctl/hardware/power_sequences.h"
#include "devctl/hardware/power_state.h"
#include "devctl/hardware/usb_port.h"
#include "devctl/text/broadcast.h"
#include "devctl/text/control_ports.h"
#include "devctl/text/history.h"
#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "platform/clock.h"
#include "platform/command.h"
#include "platform/paths.h"

namespace {

constexpr const char* kMcuVersionTool = "/usr/local/backend/mcu/serial_upgrade";
constexpr const char* kMcuVersionToolArguments = " -v -d /dev/ttyS1 -b 115200-8n1";

// The identity (MAC addresses), then the live and the pending record from "/oem/app.json".
void LoadIdentityAndConfiguration() {
  std::string mac, sub_mac;
  LoadMacAddress(&mac);
  LoadSubMacAddress(&sub_mac);
  ConfigLock lock;
  g_unit.identity.mac = mac;
  g_unit.identity.sub_mac = sub_mac;
  g_unit.config.type = "TRX";
  OpenAppConfig(g_unit.config_path, kConfigFile, &g_unit.config, g_unit.identity.mac,
                g_unit.config.type);
  g_unit.pending.type = "TRX";
  OpenAppConfig(g_unit.config_path, kConfigFile, &g_unit.pending, g_unit.identity.mac,
                g_unit.pending.type);
}

// The MCU version query, the presets, the host name file and the versions the status pages show.
void LoadPresetsAndVersions() {
  platform::RunCommand(platform::Path(kMcuVersionTool) + kMcuVersionToolArguments);
  LoadPresetSlots();
  std::string hostname;
  {
    ConfigLock lock;
    hostname = g_unit.config.hostname;
  }
  WriteHostname(hostname);
  ReadMainVersion();
  ReadMcuVersion();
  std::string netaudio = ParseNetaudioVersion(kNetaudioVersionFile, kNetaudioVersionDateFile);
  ConfigLock lock;
  g_unit.identity.netaudio_version = netaudio;
}

}  // namespace

void DevctlStartup(CApplication& app, CKey& keys, CTimer& timer, const StartupOptions& options) {
  // The start-up itself boots the DSPs and writes every setting to them.
  platform::UseShortTimerSlack();
  const bool threads = options.start_threads;
  RegisterControlPortNotices();
  UnitDspWatcher();  // built, never initialised or started
  LoadIdentityAndConfiguration();

  LcdInit();
  platform::SleepMs(10);
  LcdInit();
  platform::SleepMs(10);
  if (threads) StartPanelThread();

  LoadPresetsAndVersions();

  app.FillCommandMap(g_web_commands, g_web_command_count);
  if (threads) app.Start();

  InitPowerGpios();
  SetAudioMuteGpio(1);
  int usb_status;
  {
    ConfigLock lock;
    usb_status = g_unit.config.usb_status;
  }
  SetUsbPortLeds(usb_status);
  if (threads) StartUsbPortThread();

  keys.on_reset_key = HandleResetKey;
  keys.on_usb_button = HandleUsbSelectButton;
  if (threads) keys.Start();

  HistoryInit();
  if (threads) {
    StartTcpServerFromConfig();
    StartTelnetServerFromConfig();
    timer.callback = RunServiceLoop;
    timer.Start();
    StartUartFromConfig();
  }

  InitPhantomPower();
  if (threads) StartPhantomThreads();
  InitFrontLeds();
  PulseExpanderReset(ExpanderPulse::kStartup);
  ApplyStoredPowerState();

  ApplyPowerToPanel();
  if (threads) {
    StartPowerThread();
    StartAutoStandbyThread();
  }
}
