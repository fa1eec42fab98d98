// The reset, reboot and identity commands of the text protocol: the confirmed RESET and
// RESET ALL, REBOOT, TEMP, and the serial-number and MAC commands (not listed by HELP).
#pragma once

#include <string>

#include "devctl/text/text_rows.h"

bool TermResetSystem(const PreparedLine& line, std::string& reply);
bool TermResetAll(const PreparedLine& line, std::string& reply);
bool TermReboot(const PreparedLine& line, std::string& reply);
bool TermPrintTemperature(const PreparedLine& line, std::string& reply);
bool TermGetSerialNumber(const PreparedLine& line, std::string& reply);
bool TermSetSerialNumber(const PreparedLine& line, std::string& reply);
bool TermGetSubMac(const PreparedLine& line, std::string& reply);
bool TermSetMac(const PreparedLine& line, std::string& reply);
bool TermSetSubMac(const PreparedLine& line, std::string& reply);

// Rows (text_rows.h). Dispatch: TEMP, the RESET ALL and RESET questions, REBOOT; and the identity
// commands NETMAC, NETSUBMAC, GETNETSUBMAC, NETSN, GETNETSN.
extern const TextRows kDeviceRows;
extern const TextRows kIdentityRows;
// HELP: TEMP; RESET, RESET ALL, REBOOT.
extern const HelpRows kTemperatureHelp;
extern const HelpRows kResetHelp;
