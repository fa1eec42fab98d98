// The unit-wide commands of the text protocol: uptime, USB port, key lock, control-port enables
// and ports, baud rate, standby mode, power, power LED, LCD light, auto-standby time and phantom
// power. Handlers of the text frame (text_rows.h): they return true when the configuration
// changed and is to be saved.
#pragma once

#include <string>

#include "devctl/text/text_rows.h"

bool TermPrintUptime(const PreparedLine& line, std::string& reply);
bool TermSetUsbPort(const PreparedLine& line, std::string& reply);
bool TermSetKeyLock(const PreparedLine& line, std::string& reply);
bool TermSetTelnetEnable(const PreparedLine& line, std::string& reply);
bool TermSetTcpPortEnable(const PreparedLine& line, std::string& reply);
bool TermSetTcpPort(const PreparedLine& line, std::string& reply);
bool TermSetTelnetPort(const PreparedLine& line, std::string& reply);
bool TermSetBaudRate(const PreparedLine& line, std::string& reply);
bool TermSetStandbyMode(const PreparedLine& line, std::string& reply);
bool TermPowerOn(const PreparedLine& line, std::string& reply);
bool TermPowerOff(const PreparedLine& line, std::string& reply);
bool TermSetPowerLedFollow(const PreparedLine& line, std::string& reply);
bool TermSetFrontLcd(const PreparedLine& line, std::string& reply);
bool TermSetAutoStandbyTime(const PreparedLine& line, std::string& reply);
bool TermSetInputPhantom(const PreparedLine& line, std::string& reply);

// Rows (text_rows.h). Dispatch: UPTIME, the control-port, power, panel, baud-rate and standby
// keywords, then USB PORT (searched anywhere before a name); the phantom command of the input
// group.
extern const TextRows kSystemRows;
extern const TextRows kPhantomRows;
// HELP: UPTIME; PON, POFF, PWLED FOLLOW; STANDBY to USB PORT; IN xx PHT; NET TCPPORT and NET TN.
extern const HelpRows kUptimeHelp;
extern const HelpRows kPowerHelp;
extern const HelpRows kSystemSettingsHelp;
extern const HelpRows kPhantomHelp;
extern const HelpRows kControlPortHelp;
