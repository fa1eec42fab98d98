#include "devctl/hardware/system_changes.h"

#include <cstdint>

#include "devctl/core/port_restarts.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_state.h"
#include "platform/listen_port.h"

namespace {

constexpr int kPanelNoticeKeyLock = 2;
constexpr long kMinPort = 1;
constexpr long kMaxPort = 65535;
constexpr long kServicePorts[] = {22, 80, 5037, 5555, 36713, 44897};

const char* OnOff(int value) { return value != 0 ? "on" : "off"; }

// A port a server that is on moves to is held for it at once, so that no other program can take
// it before the restart listens there; a server that is off only needs the port free.
PortCheck CheckPort(long port, int other_server_port, int own_port, bool server_on,
                    ControlServer server) {
  if (port == other_server_port) return PortCheck::kOccupied;
  for (long used : kServicePorts)
    if (port == used) return PortCheck::kOccupied;
  if (port < kMinPort || port > kMaxPort) return PortCheck::kOutOfRange;
  if (server_on) return ListenNow(server, int(port)) ? PortCheck::kFree : PortCheck::kOccupied;
  // A port another program holds would leave the server unable to start there.
  if (port != own_port && !platform::CanListenOn(int(port))) return PortCheck::kOccupied;
  return PortCheck::kFree;
}

// "On" is answered only while devctl listens on the port: ListenNow keeps or opens the socket
// the server (re)starts on, and starts a server that is on but does not listen.
PortCheck CheckEnable(int enable, int port, ControlServer server) {
  if (enable == 0) return PortCheck::kFree;
  return ListenNow(server, port) ? PortCheck::kFree : PortCheck::kOccupied;
}

const char* LcdLine(int mode) {
  switch (mode) {
    case 0:
      return "[SUCCESS]Set LCD light always off.\r\n";
    case 1:
      return "[SUCCESS]Set LCD light always on.\r\n";
    case 2:
      return "[SUCCESS]Set LCD light on 15s.\r\n";
    case 3:
      return "[SUCCESS]Set LCD light on 30s.\r\n";
    default:
      return "[SUCCESS]Set LCD light on 60s.\r\n";
  }
}

void AppendPhantomLine(int input, int on, std::string& lines) {
  lines += "[SUCCESS]Set analogue input CH" + std::to_string(input + 1) + " phantom power " +
           (on ? "on." : "off.") + "\r\n";
}

void StorePhantom(int input, int on) {
  g_unit.config.analogue_input_phantom[input] = on;
  SetPhantomGpio(input, uint8_t(on));
}

}  // namespace

const char* BaudRateName(int index) {
  static const char* const kNames[] = {"4800", "9600", "19200", "38400", "57600", "115200"};
  if (index < 1 || index > 6) return "";
  return kNames[index - 1];
}

bool SetUsbPort(int usb_status, std::string& lines) {
  int port = usb_status == 1 ? 1 : 0;
  bool changed = g_unit.config.usb_status != port;
  g_unit.config.usb_status = port;
  g_unit.pending.usb_status = port;
  lines += std::string("[SUCCESS]Set USB port to ") + (port == 1 ? "USB-B" : "USB-C") + ".\r\n";
  return changed;
}

void SetKeyLock(int lock, std::string& lines) {
  g_unit.config.key_lock = lock;
  g_unit.pending.key_lock = lock;
  g_panel.notice = kPanelNoticeKeyLock;
  lines += std::string("[SUCCESS]Set key ") + OnOff(lock) + ".\r\n";
}

bool SetTelnetEnable(int enable, std::string& lines) {
  bool changed = g_unit.config.telnet_enable != enable;
  if (changed) {
    g_unit.config.telnet_enable = enable;
    g_unit.pending.telnet_enable = enable;
    g_port_restarts.telnet = true;
  }
  lines += std::string("[SUCCESS]Set telnet to ") + OnOff(enable) + ".\r\n";
  return changed;
}

bool SetTcpPortEnable(int enable, std::string& lines) {
  bool changed = g_unit.config.tcpportenable != enable;
  if (changed) {
    g_unit.config.tcpportenable = enable;
    g_unit.pending.tcpportenable = enable;
    g_port_restarts.tcp = true;
  }
  lines += std::string("[SUCCESS]Set TCP/IP to ") + OnOff(enable) + ".\r\n";
  return changed;
}

PortCheck CheckTelnetEnable(int enable) {
  return CheckEnable(enable, g_unit.config.telnetport, ControlServer::kTelnet);
}
PortCheck CheckTcpPortEnable(int enable) {
  return CheckEnable(enable, g_unit.config.tcpport, ControlServer::kTcp);
}

PortCheck CheckTcpPort(long port) {
  return CheckPort(port, g_unit.config.telnetport, g_unit.config.tcpport,
                   g_unit.config.tcpportenable != 0, ControlServer::kTcp);
}
PortCheck CheckTelnetPort(long port) {
  return CheckPort(port, g_unit.config.tcpport, g_unit.config.telnetport,
                   g_unit.config.telnet_enable != 0, ControlServer::kTelnet);
}

bool SetTcpPort(int port, std::string& lines) {
  bool changed = g_unit.config.tcpport != port;
  if (changed) {
    g_unit.config.tcpport = port;
    g_unit.pending.tcpport = port;
    g_port_restarts.tcp = true;
  }
  lines += "[SUCCESS]Set TCP/IP port:" + std::to_string(port) + ".\r\n";
  return changed;
}

bool SetTelnetPort(int port, std::string& lines) {
  bool changed = g_unit.config.telnetport != port;
  if (changed) {
    g_unit.config.telnetport = port;
    g_unit.pending.telnetport = port;
    g_port_restarts.telnet = true;
  }
  lines += "[SUCCESS]Set telnet port:" + std::to_string(port) + ".\r\n";
  return changed;
}

bool SetBaudRate(int index, std::string& lines) {
  bool changed = g_unit.config.baudrate != index;
  if (changed) {
    g_unit.config.baudrate = index;
    g_unit.pending.baudrate = index;
    g_port_restarts.uart = true;
  }
  lines += std::string("[SUCCESS]Set baudrate to ") + BaudRateName(index) + ".\r\n";
  return changed;
}

void SetStandbyMode(int mode, std::string& lines) {
  g_unit.config.standby_mode = mode;
  g_unit.pending.standby_mode = mode;
  lines += std::string("[SUCCESS]Set system standby mode to ") + (mode != 0 ? "standby" : "sleep") +
           ".\r\n";
}

bool SetPower(int power, const PowerLines& report, std::string& lines) {
  power = power != 0 ? 1 : 0;
  if (g_unit.config.power == power) {
    if (const char* line = power ? report.already_on : report.already_off) lines += line;
    return false;
  }
  g_unit.config.power = power;
  g_unit.pending.power = power;
  if (power == 0) {
    ApplyPowerToPanel();
  } else if (g_unit.config.front_lcd > 0 && g_power.deep_sleep == 0) {
    LcdInit();
    ApplyPowerToPanel();
  }
  lines += power ? report.now_on : report.now_off;
  return true;
}

void SetPowerLedFollow(int led, std::string& lines) {
  g_unit.config.powerled = led;
  g_unit.pending.powerled = led;
  ApplyPanelLights();
  lines += led != 0 ? "[SUCCESS]Set system power LED follow LCD status.\r\n"
                    : "[SUCCESS]Set system power LED not follow LCD status, in power on state, "
                      "power LED always on.\r\n";
}

void SetFrontLcd(int mode, std::string& lines) {
  g_unit.config.front_lcd = mode;
  g_power.backlight_countdown = BacklightCountdown(mode);
  ApplyPanelLights();
  lines += LcdLine(mode);
}

void SetAutoStandbyTime(int minutes, std::string& lines) {
  g_unit.config.standbytime = minutes;
  g_power.auto_standby_state = 1;
  lines += "[SUCCESS]Set auto standby time to " + std::to_string(minutes) + " mins." +
           (minutes == 0 ? "(Disable auto standby)" : "") + "\r\n";
}

void SetInputPhantom(int input, int on, std::string& lines) {
  if (input < 0 || input >= kAnalogueChannels) return;
  StorePhantom(input, on);
  AppendPhantomLine(input, on, lines);
}

void SetAllInputPhantom(int on, std::string& lines) {
  for (int input = 0; input < kAnalogueChannels; ++input) StorePhantom(input, on);
  lines += std::string("[SUCCESS]Set analogue input all phantom power ") + (on ? "on." : "off.") +
           "\r\n";
}

void SetLinkedInputPhantom(int input, int on, std::string& lines) {
  if (input < 0 || input >= kAnalogueChannels) return;
  int pair = input / 2;
  if (g_unit.config.analogue_input_stereo[pair] == 0) {
    SetInputPhantom(input, on, lines);
    return;
  }
  SetInputPhantom(2 * pair, on, lines);
  SetInputPhantom(2 * pair + 1, on, lines);
}
