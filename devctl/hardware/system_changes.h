// Changes of the unit-wide settings as every control path makes them (text commands, web
// commands, front-panel pages): USB port, key lock, control-port enables and ports, baud rate,
// power, standby mode, power LED, LCD light, auto-standby time and phantom power, each with the
// "[SUCCESS]" line that reports it. Callers hold the configuration lock, check the values first,
// then save and send the lines.
//
// These live beside the power and panel code because they start it (panel lights, LCD, restart
// flags); the workers and the service loop carry the rest of each change out.
#pragma once

#include <string>

// Name of a baud-rate index 1..6 ("4800" .. "115200"); "" outside.
const char* BaudRateName(int index);

// 1 selects USB-B, any other value USB-C; stored in the live and the pending record. Returns
// whether the selection changed. The USB worker switches the port.
bool SetUsbPort(int usb_status, std::string& lines);

// key_lock := lock (any value other than 0 locks); the panel shows the lock state.
void SetKeyLock(int lock, std::string& lines);

// Ports of the control servers. A port is refused when the other server uses it or it is one of
// the unit's own services (22, 80, 5037, 5555, 36713, 44897), then when it is outside 1..65535,
// and as occupied when devctl cannot listen on it (another program holds it).
enum class PortCheck { kFree, kOccupied, kOutOfRange };

// Whether a server may be turned on (enable not 0): kFree only once devctl listens on the
// server's port (ListenNow: the server's own socket, the one its pending restart keeps, or one
// opened now for its next start; a server that is on but does not listen is started). kOccupied
// while another program holds the port, to be refused with nothing changed. kFree for turning
// off.
PortCheck CheckTelnetEnable(int enable);
PortCheck CheckTcpPortEnable(int enable);
// Enable flags of the control servers, live and pending (checked first): stored, and the server
// restarted by the service loop, only when the value differs. The line is given either way.
// Return: changed.
bool SetTelnetEnable(int enable, std::string& lines);
bool SetTcpPortEnable(int enable, std::string& lines);

// For a server that is on, a free port is held for it at once (ListenNow), so its restart
// listens there without a gap; for a server that is off, a new port only has to be free now.
PortCheck CheckTcpPort(long port);
PortCheck CheckTelnetPort(long port);
// A free port: stored (live and pending) with a server restart when it differs; the line either
// way. Return: changed.
bool SetTcpPort(int port, std::string& lines);
bool SetTelnetPort(int port, std::string& lines);

// Baud-rate index 1..6, live and pending: stored with a restart of the RS-232 port when it
// differs; the line either way. Return: changed.
bool SetBaudRate(int index, std::string& lines);

// standby_mode := mode (0 sleep, any other value standby), live and pending; used at the next
// power-off.
void SetStandbyMode(int mode, std::string& lines);

// The lines a power change is reported with, each ending "\r\n": one for each new state, and
// one for a state that already held (nullptr: not reported).
struct PowerLines {
  const char* now_on;
  const char* now_off;
  const char* already_on;
  const char* already_off;
};
// The unit's own status lines of a power change (the text commands and the POWER key).
constexpr char kSystemPowerOnLine[] = "[SUCCESS]Set system power on, please wait a moment...\r\n";
constexpr char kSystemPowerOffLine[] = "[SUCCESS]Set system power off.\r\n";
// power (0 or 1) in the live and the pending record; the panel follows at once, the power worker
// carries out the rest. Returns false when the power already was so.
bool SetPower(int power, const PowerLines& report, std::string& lines);

// powerled (1 follow the LCD light, 0 always on while powered), live and pending; lights applied.
void SetPowerLedFollow(int led, std::string& lines);

// front_lcd (0 always off, 1 always on, 2/3/4 lit 15/30/60 s) in the live record, the backlight
// countdown for the mode, lights applied.
void SetFrontLcd(int mode, std::string& lines);

// standbytime in minutes (0 off); the auto-standby countdown restarts.
void SetAutoStandbyTime(int minutes, std::string& lines);

// Phantom power of analogue input (0-3): field and phantom line; the input's worker switches the
// supply inside its muted window. One line.
void SetInputPhantom(int input, int on, std::string& lines);
// All four inputs, one line.
void SetAllInputPhantom(int on, std::string& lines);
// The input, or both inputs of its pair when the pair is linked (first then second); a line each.
void SetLinkedInputPhantom(int input, int on, std::string& lines);
