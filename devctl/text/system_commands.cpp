#include "devctl/text/system_commands.h"

#include "devctl/core/limits.h"
#include "devctl/core/unit_state.h"
#include "devctl/core/uptime.h"
#include "devctl/hardware/system_changes.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

namespace {

constexpr int kNotGiven = -1;

std::string Text(const PreparedLine& line) { return std::string(line.condensed, line.count); }

int Scan(const std::string& text, const char* pattern) {
  int value = kNotGiven;
  ScanText(text.c_str(), pattern, &value);
  return value;
}

std::string OccupiedLine(int port) {
  return "[ERROR]Port " + std::to_string(port) + " is occupied, please select another port.\r\n";
}

bool SetPort(const std::string& text, const char* pattern, bool telnet, std::string& reply) {
  const int port = Scan(text, pattern);
  const PortCheck check = telnet ? CheckTelnetPort(port) : CheckTcpPort(port);
  if (check == PortCheck::kOccupied) {
    reply += OccupiedLine(port);
    return false;
  }
  if (check == PortCheck::kOutOfRange) {
    reply += RangeErrorLine(telnet ? "Telnet port" : "TCP/IP port");
    return false;
  }
  return telnet ? SetTelnetPort(port, reply) : SetTcpPort(port, reply);
}

}  // namespace

bool TermPrintUptime(const PreparedLine&, std::string& reply) {
  reply += "The uptime of the system is " + FormatUptime(UptimeSeconds()) + ".\r\n";
  return false;
}

bool TermSetUsbPort(const PreparedLine& line, std::string& reply) {
  const int port = Scan(Text(line), "USBPORT%d");
  if (port != kUsbPortB && port != kUsbPortC) {
    reply += RangeErrorLine("Set USB port");
    return false;
  }
  SetUsbPort(port == kUsbPortB ? 1 : 0, reply);
  return true;
}

bool TermSetKeyLock(const PreparedLine& line, std::string& reply) {
  SetKeyLock(BeginsWith(Text(line), "KEYON") ? 1 : 0, reply);
  return true;
}

bool TermSetTelnetEnable(const PreparedLine& line, std::string& reply) {
  const int enable = BeginsWith(Text(line), "NETTNON") ? 1 : 0;
  if (CheckTelnetEnable(enable) == PortCheck::kOccupied) {
    reply += OccupiedLine(g_unit.config.telnetport);
    return false;
  }
  SetTelnetEnable(enable, reply);
  return true;
}

bool TermSetTcpPortEnable(const PreparedLine& line, std::string& reply) {
  const int enable = BeginsWith(Text(line), "NETTCPPORTON") ? 1 : 0;
  if (CheckTcpPortEnable(enable) == PortCheck::kOccupied) {
    reply += OccupiedLine(g_unit.config.tcpport);
    return false;
  }
  SetTcpPortEnable(enable, reply);
  return true;
}

bool TermSetTcpPort(const PreparedLine& line, std::string& reply) {
  return SetPort(Text(line), "NETTCPPORT%d", false, reply);
}

bool TermSetTelnetPort(const PreparedLine& line, std::string& reply) {
  return SetPort(Text(line), "NETTN%d", true, reply);
}

bool TermSetBaudRate(const PreparedLine& line, std::string& reply) {
  const int index = Scan(Text(line), "RSB%d");
  if (index < kMinBaudRateIndex || index > kMaxBaudRateIndex) {
    reply += RangeErrorLine("Baudrate");
    return false;
  }
  SetBaudRate(index, reply);
  return true;
}

bool TermSetStandbyMode(const PreparedLine& line, std::string& reply) {
  const int mode = Scan(Text(line), "STANDBY%d");
  if (mode != 0 && mode != 1) {
    reply += RangeErrorLine("Set system standby mode");
    return false;
  }
  SetStandbyMode(mode, reply);
  return true;
}

// A power that already holds is answered with a plain status line.
const PowerLines kTextPowerLines = {kSystemPowerOnLine, kSystemPowerOffLine,
                                    "System is power on.\r\n", "System is power off.\r\n"};

bool TermPowerOn(const PreparedLine&, std::string& reply) {
  return SetPower(1, kTextPowerLines, reply);
}

bool TermPowerOff(const PreparedLine&, std::string& reply) {
  return SetPower(0, kTextPowerLines, reply);
}

bool TermSetPowerLedFollow(const PreparedLine& line, std::string& reply) {
  SetPowerLedFollow(BeginsWith(Text(line), "PWLEDFOLLOWON") ? 1 : 0, reply);
  return true;
}

bool TermSetFrontLcd(const PreparedLine& line, std::string& reply) {
  const std::string text = Text(line);
  int mode;
  if (BeginsWith(text, "LCDOFF")) {
    mode = 0;
  } else if (BeginsWith(text, "LCDON")) {
    mode = 1;
  } else {
    switch (Scan(text, "LCD%d")) {
      case 15:
        mode = 2;
        break;
      case 30:
        mode = 3;
        break;
      case 60:
        mode = 4;
        break;
      default:
        reply += RangeErrorLine("Set LCD light");
        return false;
    }
  }
  SetFrontLcd(mode, reply);
  return true;
}

bool TermSetAutoStandbyTime(const PreparedLine& line, std::string& reply) {
  const int minutes = Scan(Text(line), "AUTOSTB%d");
  if (minutes < kMinStandbyMinutes || minutes > kMaxStandbyMinutes) {
    reply += RangeErrorLine("Standby time");
    return false;
  }
  SetAutoStandbyTime(minutes, reply);
  return true;
}

bool TermSetInputPhantom(const PreparedLine& line, std::string& reply) {
  const std::string text = Text(line);
  const int n = Scan(text, "IN%d");
  // "ON" anywhere switches on; otherwise "OFF" switches off.
  int on = -1;
  if (text.find("ON") != std::string::npos)
    on = 1;
  else if (text.find("OFF") != std::string::npos)
    on = 0;
  if (on < 0 || n < 0 || n > kAnalogueChannels) {
    reply += RangeErrorLine("Analogue input phantom");
    return false;
  }
  if (n == 0)
    SetAllInputPhantom(on, reply);
  else
    SetInputPhantom(n - 1, on, reply);
  return true;
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

const TextRow kSystemRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("UPTIME"); }, TermPrintUptime, 0, "UPTIME"},
    // NET TCPPORT ON/OFF before NET TCPPORT, NET TN ON/OFF before NET TN.
    {[](const PreparedLine& l) { return l.Begins("NETTCPPORTON") || l.Begins("NETTCPPORTOFF"); },
     TermSetTcpPortEnable, kWakes | kSaves, "NET TCPPORT ON"},
    {[](const PreparedLine& l) { return l.Begins("NETTCPPORT"); }, TermSetTcpPort, kWakes | kSaves,
     "NET TCPPORT 9000"},
    {[](const PreparedLine& l) { return l.Begins("NETTNON") || l.Begins("NETTNOFF"); },
     TermSetTelnetEnable, kWakes | kSaves, "NET TN OFF"},
    {[](const PreparedLine& l) { return l.Begins("NETTN"); }, TermSetTelnetPort, kWakes | kSaves,
     "NET TN 2323"},
    // Power on and off wake nothing: they set the power themselves.
    {[](const PreparedLine& l) { return l.Begins("PON"); }, TermPowerOn, kSaves, "PON"},
    {[](const PreparedLine& l) { return l.Begins("POFF"); }, TermPowerOff, kSaves, "POFF"},
    // A refused LCD value does not wake the unit.
    {[](const PreparedLine& l) { return l.Begins("LCD"); }, TermSetFrontLcd, kWakesAfter | kSaves,
     "LCD 30"},
    {[](const PreparedLine& l) { return l.Begins("PWLEDFOLLOWON") || l.Begins("PWLEDFOLLOWOFF"); },
     TermSetPowerLedFollow, kWakes | kSaves, "PWLED FOLLOW ON"},
    {[](const PreparedLine& l) { return l.Begins("KEYON") || l.Begins("KEYOFF"); }, TermSetKeyLock,
     kWakes | kSaves, "KEY OFF"},
    {[](const PreparedLine& l) { return l.Begins("RSB"); }, TermSetBaudRate, kWakes | kSaves,
     "RSB 6"},
    {[](const PreparedLine& l) { return l.Begins("STANDBY"); }, TermSetStandbyMode, kWakes | kSaves,
     "STANDBY 1"},
    {[](const PreparedLine& l) { return l.Begins("AUTOSTB"); }, TermSetAutoStandbyTime,
     kWakes | kSaves, "AUTO STB 30"},
    // Anywhere before a name, so after every keyword test that looks at the line's beginning
    // only, and before the channel, preset and later commands: "IN 1 USB PORT 2" sets the port.
    {[](const PreparedLine& l) { return l.ScopeHas("USBPORT"); }, TermSetUsbPort, kSaves,
     "USB PORT 2"},
};

const TextRow kPhantomRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("IN") && l.Has("PHT"); }, TermSetInputPhantom,
     kWakes | kSaves, "IN 1 PHT ON"},
};

const text_command_s kUptimeHelpList[] = {
    {0, "UPTIME", TermPrintUptime, FormatHelpText(nullptr, "UPTIME", {"Print System Uptime"})},
};

const text_command_s kPowerHelpList[] = {
    {0, "PON", TermPowerOn,
     FormatHelpText("System Control Command", "PON", {"Power On, System Run On Normal State"})},
    {0, "POFF", TermPowerOff,
     FormatHelpText(nullptr, "POFF", {"Power Off, System Run On Power Save State"})},
    {0, "PWLED FOLLOW ON/OFF", TermSetPowerLedFollow,
     FormatHelpText(nullptr, "PWLED FOLLOW ON/OFF",
                    {"ON:Set System Power LED Follow LCD Status",
                     "OFF:Set System Power LED Not Follow LCD Status,",
                     "In Power On State,Power LED Always On"})},
};

const text_command_s kSystemSettingsHelpList[] = {
    {0, "STANDBY xx", TermSetStandbyMode,
     FormatHelpText(nullptr, "STANDBY xx",
                    {"Set System Standby Mode To xx", "xx=0:Sleep,1:Standby"})},
    {0, "AUTO STB xx", TermSetAutoStandbyTime,
     FormatHelpText(nullptr, "AUTO STB xx",
                    {"Set System Auto Standby Time", "xx=0:Auto Standby Off",
                     "xx=[1...120]:Auto Standby Time(mins)"})},
    {0, "KEY ON/OFF", TermSetKeyLock,
     FormatHelpText(nullptr, "KEY ON/OFF", {"Set System KEY Control On Or Off"})},
    {0, "LCD ON/OFF/15/30/60", TermSetFrontLcd,
     FormatHelpText(nullptr, "LCD ON/OFF/15/30/60",
                    {"Set LCD Always On Or Auto Turn Off In 15/30/60s"})},
    {0, "RSB xx", TermSetBaudRate,
     FormatHelpText(nullptr, "RSB xx",
                    {"Set RS232 Baud Rate To xx bps",
                     "xx=[1...6]:1:4800,2:9600,3:19200,4:38400,5:57600,6:115200"})},
    {0, "PORT", TermSetUsbPort,
     FormatHelpText("Input Control Command", "USB PORT xx",
                    {"Set USB Port To xx", "xx=[1,2]:1:USB-B,2:USB-C"})},
};

const text_command_s kPhantomHelpList[] = {
    {0, "IN xx PHT ON/OFF", TermSetInputPhantom,
     FormatHelpText(nullptr, "IN xx PHT ON/OFF",
                    {"Set Input:xx Phantom Power On Or Off", "xx=[0]:All Analogue Input Ports",
                     "xx=[1...4]:Analogue Input CH1-CH4"})},
};

const text_command_s kControlPortHelpList[] = {
    {0, "NET TCPPORT ON/OFF", TermSetTcpPortEnable,
     FormatHelpText(nullptr, "NET TCPPORT ON/OFF", {"Set TCP/IP On Or Off"})},
    {0, "NET TCPPORT", TermSetTcpPort,
     FormatHelpText(nullptr, "NET TCPPORT xxxx", {"Set TCP/IP Port"})},
    {0, "NET TN ON/OFF", TermSetTelnetEnable,
     FormatHelpText(nullptr, "NET TN ON/OFF", {"Set Telnet On Or Off"})},
    {0, "NET TN", TermSetTelnetPort, FormatHelpText(nullptr, "NET TN xxxx", {"Set Telnet Port"})},
};

}  // namespace

const TextRows kSystemRows = SliceOf(kSystemRowList);
const TextRows kPhantomRows = SliceOf(kPhantomRowList);

const HelpRows kUptimeHelp = SliceOf(kUptimeHelpList);
const HelpRows kPowerHelp = SliceOf(kPowerHelpList);
const HelpRows kSystemSettingsHelp = SliceOf(kSystemSettingsHelpList);
const HelpRows kPhantomHelp = SliceOf(kPhantomHelpList);
const HelpRows kControlPortHelp = SliceOf(kControlPortHelpList);
