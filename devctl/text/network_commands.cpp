#include "devctl/text/network_commands.h"

#include <cstdio>
#include <cstring>

#include "devctl/core/network_changes.h"
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
  const bool valid = command.mask ? IsValidSubnetMask(text)
                                  : IsValidIpAddress(text) && IsUsableHostAddress(text);
  if (!valid) {
    reply += command.range_error;
    return false;
  }
  return SetPendingAddress(command.field, text, reply);
}

}  // namespace

bool TermSetDhcp(int, char* line, int, std::string& reply) {
  return SetPendingDhcp(BeginsWith(line, "NETDHCPON") ? 1 : 0, reply);
}

bool TermSetIpAddress(int, char* line, int, std::string& reply) { return SetAddress(kIp, line, reply); }
bool TermSetGateway(int, char* line, int, std::string& reply) { return SetAddress(kGw, line, reply); }
bool TermSetSubnetMask(int, char* line, int, std::string& reply) { return SetAddress(kSm, line, reply); }

bool TermSetDnsDomain(int, char* line, int, std::string& reply) {
  // One character past the limit is enough to refuse an over-long name.
  const std::string name = TextAfter(line, "NETDNS", 33);
  if (!IsValidHostName(name)) {
    return RefuseRange("DNS domain name", reply);
  }
  return SetPendingHostname(name, reply);
}

bool TermRebootNetwork(int, char*, int, std::string& reply) {
  // Saved before the reboot request, so there is nothing left for the dispatcher to save.
  reply += OutcomeLine(RebootToApplyNetwork(), kNetworkRebootLine);
  return false;
}
