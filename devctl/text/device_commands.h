// The reset, reboot and identity commands of the text protocol: the confirmed RESET and
// RESET ALL, REBOOT, TEMP, and the serial-number and MAC commands (not listed by HELP).
#pragma once

#include <string>

bool TermResetSystem(int fd, char* line, int len, std::string& reply);
bool TermResetAll(int fd, char* line, int len, std::string& reply);
bool TermReboot(int fd, char* line, int len, std::string& reply);
bool TermPrintTemperature(int fd, char* line, int len, std::string& reply);
bool TermGetSerialNumber(int fd, char* line, int len, std::string& reply);
bool TermSetSerialNumber(int fd, char* line, int len, std::string& reply);
bool TermGetSubMac(int fd, char* line, int len, std::string& reply);
bool TermSetMac(int fd, char* line, int len, std::string& reply);
bool TermSetSubMac(int fd, char* line, int len, std::string& reply);
