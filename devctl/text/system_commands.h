// The unit-wide commands of the text protocol: uptime, USB port, key lock, control-port enables
// and ports, baud rate, standby mode, power, power LED, LCD light, auto-standby time and phantom
// power. Handlers of the text frame (text_handler.h): they return true when the configuration
// changed and is to be saved.
#pragma once

#include <string>

bool TermPrintUptime(int fd, char* line, int len, std::string& reply);
bool TermSetUsbPort(int fd, char* line, int len, std::string& reply);
bool TermSetKeyLock(int fd, char* line, int len, std::string& reply);
bool TermSetTelnetEnable(int fd, char* line, int len, std::string& reply);
bool TermSetTcpPortEnable(int fd, char* line, int len, std::string& reply);
bool TermSetTcpPort(int fd, char* line, int len, std::string& reply);
bool TermSetTelnetPort(int fd, char* line, int len, std::string& reply);
bool TermSetBaudRate(int fd, char* line, int len, std::string& reply);
bool TermSetStandbyMode(int fd, char* line, int len, std::string& reply);
bool TermPowerOn(int fd, char* line, int len, std::string& reply);
bool TermPowerOff(int fd, char* line, int len, std::string& reply);
bool TermSetPowerLedFollow(int fd, char* line, int len, std::string& reply);
bool TermSetFrontLcd(int fd, char* line, int len, std::string& reply);
bool TermSetAutoStandbyTime(int fd, char* line, int len, std::string& reply);
bool TermSetInputPhantom(int fd, char* line, int len, std::string& reply);
