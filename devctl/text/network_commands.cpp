#include "devctl/text/network_commands.h"

#include <cstdio>
#include <cstring>

#include "devctl/core/network_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

namespace {

struct AddressCommand {
  const char* pattern;
  AddressField field;
  bool mask;
  const char* range_error;
};

constexpr AddressCommand kIp{"NETIP%d.%d.%d.%d", AddressField::kIpAddress, false,
                             "[ERROR]IP address param out of range. Type \"HELP\" for more "
                             "reference.\r\n"};
constexpr AddressCommand kGw{"NETGW%d.%d.%d.%d", AddressField::kGateway, false,
                             "[ERROR]Gateway param out of range. Type \"HELP\" for more "
                             "reference.\r\n"};
constexpr AddressCommand kSm{"NETSM%d.%d.%d.%d", AddressField::kSubnetMask, true,
                             "[ERROR]Subnet mask param out of range. Type \"HELP\" for more "
                             "reference.\r\n"};

// The four numbers are read and the address text formatted from them (a part not given shows as
// -1, which the check refuses), so only the unit's own formatting reaches the files.
bool SetAddress(const AddressCommand& command, const char* line, std::string& reply) {
  int n[4] = {-1, -1, -1, -1};
  ScanText(line, command.pattern, &n[0], &n[1], &n[2], &n[3]);
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", n[0], n[1], n[2], n[3]);
  // An address or gateway must also be one a host can use on a real network.
  const bool valid =
      command.mask ? IsValidSubnetMask(text) : IsValidIpAddress(text) && IsUsableHostAddress(text);
  if (!valid) {
    reply += command.range_error;
    return false;
  }
  return SetPendingAddress(g_unit, command.field, text, reply);
}

}  // namespace

bool TermSetDhcp(const PreparedLine& line, std::string& reply) {
  return SetPendingDhcp(g_unit, BeginsWith(line.condensed, "NETDHCPON") ? 1 : 0, reply);
}

bool TermSetIpAddress(const PreparedLine& line, std::string& reply) {
  return SetAddress(kIp, line.condensed, reply);
}
bool TermSetGateway(const PreparedLine& line, std::string& reply) {
  return SetAddress(kGw, line.condensed, reply);
}
bool TermSetSubnetMask(const PreparedLine& line, std::string& reply) {
  return SetAddress(kSm, line.condensed, reply);
}

bool TermSetDnsDomain(const PreparedLine& line, std::string& reply) {
  // One character past the limit is enough to refuse an over-long name.
  const std::string name = TextAfter(line.condensed, "NETDNS", 33);
  if (!IsValidHostName(name)) {
    return RefuseRange("DNS domain name", reply);
  }
  return SetPendingHostname(g_unit, name, reply);
}

bool TermRebootNetwork(const PreparedLine&, std::string& reply) {
  // Saved before the reboot request, so there is nothing left for the dispatcher to save.
  reply += OutcomeLine(RebootToApplyNetwork(g_unit), kNetworkRebootLine);
  return false;
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

// The edit commands save the pending record themselves; NET RB saves before its reboot request.
const TextRow kNetworkRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("NETDHCPON") || l.Begins("NETDHCPOFF"); },
     TermSetDhcp, kWakes, "NET DHCP ON"},
    {[](const PreparedLine& l) { return l.Begins("NETIP"); }, TermSetIpAddress, kWakes,
     "NET IP 10.0.0.5"},
    {[](const PreparedLine& l) { return l.Begins("NETGW"); }, TermSetGateway, kWakes,
     "NET GW 10.0.0.1"},
    {[](const PreparedLine& l) { return l.Begins("NETSM"); }, TermSetSubnetMask, kWakes,
     "NET SM 255.255.255.0"},
    {[](const PreparedLine& l) { return l.Begins("NETRB"); }, TermRebootNetwork, kWakesWhenOff,
     "NET RB"},
};

const TextRow kDnsRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("NETDNS"); }, TermSetDnsDomain, kWakes,
     "NET DNS example"},
};

const text_command_s kNetworkAddressHelpList[] = {
    {0, "NET DHCP ON/OFF", TermSetDhcp,
     FormatHelpText("Network Control Command", "NET DHCP ON/OFF", {"Set Auto IP(DHCP) On Or Off"})},
    {0, "NET IP", TermSetIpAddress,
     FormatHelpText(nullptr, "NET IP xxx.xxx.xxx.xxx", {"Set IP Address"})},
    {0, "NET GW", TermSetGateway,
     FormatHelpText(nullptr, "NET GW xxx.xxx.xxx.xxx", {"Set Gateway Address"})},
    {0, "NET SM", TermSetSubnetMask,
     FormatHelpText(nullptr, "NET SM xxx.xxx.xxx.xxx", {"Set Subnet Mask Address"})},
};

const text_command_s kNetworkApplyHelpList[] = {
    {0, "NET RB", TermRebootNetwork,
     FormatHelpText(nullptr, "NET RB", {"Network Reboot And Apply New Config!!!"})},
    {0, "NET DNS", TermSetDnsDomain,
     FormatHelpText(nullptr, "NET DNS xxxx", {"Set DNS Domain Name To xxxx"})},
};

}  // namespace

const TextRows kNetworkRows = SliceOf(kNetworkRowList);
const TextRows kDnsRows = SliceOf(kDnsRowList);

const HelpRows kNetworkAddressHelp = SliceOf(kNetworkAddressHelpList);
const HelpRows kNetworkApplyHelp = SliceOf(kNetworkApplyHelpList);
