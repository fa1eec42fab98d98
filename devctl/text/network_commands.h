// The network commands of the text protocol: "NET DHCP ON/OFF", "NET IP", "NET GW", "NET SM",
// "NET DNS" and "NET RB". They edit the pending network record (applied by NET RB or a power
// cycle); the dispatcher's network edit step opens and closes the edit.
#pragma once

#include <string>

#include "devctl/text/text_rows.h"

bool TermSetDhcp(const PreparedLine& line, std::string& reply);
bool TermSetIpAddress(const PreparedLine& line, std::string& reply);
bool TermSetGateway(const PreparedLine& line, std::string& reply);
bool TermSetSubnetMask(const PreparedLine& line, std::string& reply);
bool TermSetDnsDomain(const PreparedLine& line, std::string& reply);
bool TermRebootNetwork(const PreparedLine& line, std::string& reply);

// Rows (text_rows.h). Dispatch: NET DHCP, IP, GW, SM, RB; and NET DNS (tried after the channel
// and preset commands).
extern const TextRows kNetworkRows;
extern const TextRows kDnsRows;
// HELP: NET DHCP, IP, GW, SM; NET RB and NET DNS.
extern const HelpRows kNetworkAddressHelp;
extern const HelpRows kNetworkApplyHelp;
