// The network commands of the text protocol: "NET DHCP ON/OFF", "NET IP", "NET GW", "NET SM",
// "NET DNS" and "NET RB". They edit the pending network record (applied by NET RB or a power
// cycle); the dispatcher's network edit step opens and closes the edit.
#pragma once

#include <string>

bool TermSetDhcp(int fd, char* line, int len, std::string& reply);
bool TermSetIpAddress(int fd, char* line, int len, std::string& reply);
bool TermSetGateway(int fd, char* line, int len, std::string& reply);
bool TermSetSubnetMask(int fd, char* line, int len, std::string& reply);
bool TermSetDnsDomain(int fd, char* line, int len, std::string& reply);
bool TermRebootNetwork(int fd, char* line, int len, std::string& reply);

