#include "devctl/text/system_commands.h"

#include "devctl/core/globals.h"
#include "devctl/core/limits.h"
#include "devctl/core/uptime.h"
#include "devctl/hardware/system_changes.h"
#include "devctl/text/line_text.h"

namespace {

constexpr int kNotGiven = -1;

std::string Error(const char* what) {
  return std::string("[ERROR]") + what +
         " param out of range. Type \"HELP\" for more reference.\r\n";
}

// The condensed line as a string (the frame hands over count bytes, not always terminated).
std::string Text(const char* line, int len) {
  return len > 0 ? std::string(line, size_t(len)) : std::string();
}

bool Begins(const std::string& text, const char* start) { return text.rfind(start, 0) == 0; }

int Scan(const std::string& text, const char* pattern) {
  int value = kNotGiven;
  ScanText(text.c_str(), pattern, &value);
  return value;
}

bool SetPort(const std::string& text, const char* pattern, bool telnet, std::string& reply) {
  const int port = Scan(text, pattern);
  const PortCheck check = telnet ? CheckTelnetPort(port) : CheckTcpPort(port);
  if (check == PortCheck::kOccupied) {
    reply += "[ERROR]Port " + std::to_string(port) + " is occupied, please select another port.\r\n";
    return false;
  }
  if (check == PortCheck::kOutOfRange) {
    reply += Error(telnet ? "Telnet port" : "TCP/IP port");
    return false;
  }
  return telnet ? SetTelnetPort(port, reply) : SetTcpPort(port, reply);
}

}  // namespace

bool TermPrintUptime(int, char*, int, std::string& reply) {
  reply += "The uptime of the system is " + FormatUptime(UptimeSeconds()) + ".\r\n";
  return false;
}

bool TermSetUsbPort(int, char* line, int len, std::string& reply) {
  const int port = Scan(Text(line, len), "USBPORT%d");
  if (port != kUsbPortB && port != kUsbPortC) {
    reply += Error("Set USB port");
    return false;
  }
  SetUsbPort(port == kUsbPortB ? 1 : 0, reply);
  return true;
}

bool TermSetKeyLock(int, char* line, int len, std::string& reply) {
  SetKeyLock(Begins(Text(line, len), "KEYON") ? 1 : 0, reply);
  return true;
}

bool TermSetTelnetEnable(int, char* line, int len, std::string& reply) {
  SetTelnetEnable(Begins(Text(line, len), "NETTNON") ? 1 : 0, reply);
  return true;
}

bool TermSetTcpPortEnable(int, char* line, int len, std::string& reply) {
  SetTcpPortEnable(Begins(Text(line, len), "NETTCPPORTON") ? 1 : 0, reply);
  return true;
}

bool TermSetTcpPort(int, char* line, int len, std::string& reply) {
  return SetPort(Text(line, len), "NETTCPPORT%d", false, reply);
}

bool TermSetTelnetPort(int, char* line, int len, std::string& reply) {
  return SetPort(Text(line, len), "NETTN%d", true, reply);
}

bool TermSetBaudRate(int, char* line, int len, std::string& reply) {
  const int index = Scan(Text(line, len), "RSB%d");
  if (index < kMinBaudRateIndex || index > kMaxBaudRateIndex) {
    reply += Error("Baudrate");
    return false;
  }
  SetBaudRate(index, reply);
  return true;
}

bool TermSetStandbyMode(int, char* line, int len, std::string& reply) {
  const int mode = Scan(Text(line, len), "STANDBY%d");
  if (mode != 0 && mode != 1) {
    reply += Error("Set system standby mode");
    return false;
  }
  SetStandbyMode(mode, reply);
  return true;
}

// A power that already holds is answered with a plain status line.
const PowerLines kTextPowerLines = {kSystemPowerOnLine, kSystemPowerOffLine,
                                    "System is power on.\r\n", "System is power off.\r\n"};

bool TermPowerOn(int, char*, int, std::string& reply) {
  return SetPower(1, kTextPowerLines, reply);
}

bool TermPowerOff(int, char*, int, std::string& reply) {
  return SetPower(0, kTextPowerLines, reply);
}

bool TermSetPowerLedFollow(int, char* line, int len, std::string& reply) {
  SetPowerLedFollow(Begins(Text(line, len), "PWLEDFOLLOWON") ? 1 : 0, reply);
  return true;
}

bool TermSetFrontLcd(int, char* line, int len, std::string& reply) {
  const std::string text = Text(line, len);
  int mode;
  if (Begins(text, "LCDOFF")) {
    mode = 0;
  } else if (Begins(text, "LCDON")) {
    mode = 1;
  } else {
    switch (Scan(text, "LCD%d")) {
      case 15: mode = 2; break;
      case 30: mode = 3; break;
      case 60: mode = 4; break;
      default:
        reply += Error("Set LCD light");
        return false;
    }
  }
  SetFrontLcd(mode, reply);
  return true;
}

bool TermSetAutoStandbyTime(int, char* line, int len, std::string& reply) {
  const int minutes = Scan(Text(line, len), "AUTOSTB%d");
  if (minutes < kMinStandbyMinutes || minutes > kMaxStandbyMinutes) {
    reply += Error("Standby time");
    return false;
  }
  SetAutoStandbyTime(minutes, reply);
  return true;
}

bool TermSetInputPhantom(int, char* line, int len, std::string& reply) {
  const std::string text = Text(line, len);
  const int n = Scan(text, "IN%d");
  // "ON" anywhere switches on; otherwise "OFF" switches off.
  int on = -1;
  if (text.find("ON") != std::string::npos)
    on = 1;
  else if (text.find("OFF") != std::string::npos)
    on = 0;
  if (on < 0 || n < 0 || n > kAnalogueChannels) {
    reply += Error("Analogue input phantom");
    return false;
  }
  if (n == 0)
    SetAllInputPhantom(on, reply);
  else
    SetInputPhantom(n - 1, on, reply);
  return true;
}
