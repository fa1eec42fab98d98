#include "devctl/core/net_status.h"

#include <fstream>
#include <string>

#include "devctl/core/config_lock.h"
#include "devctl/core/net_interface.h"
#include "devctl/core/unit_state.h"
#include "platform/paths.h"

namespace {

constexpr size_t kQueryBuffer = 64;

// The word after the first word containing "nameserver" (a commented-out line counts too).
bool DnsServerFromResolvConf(std::string* dns) {
  std::ifstream in(platform::Path("/etc/resolv.conf"));
  if (!in) return false;
  std::string word;
  while (in >> word) {
    if (word.find("nameserver") == std::string::npos) continue;
    return bool(in >> *dns);
  }
  return false;
}

// True when the field changed.
bool StoreIfChanged(std::string& field, const std::string& value) {
  if (field == value) return false;
  field = value;
  return true;
}

}  // namespace

void RefreshNetworkStatus() {
  if (NetLinkRunning("eth0") == 0) return;

  char buffer[kQueryBuffer] = {};
  bool have_ip = NetGetLocalIp("eth0", buffer) == 0;
  std::string ip = buffer;
  std::fill(buffer, buffer + kQueryBuffer, 0);
  bool have_mask = NetGetNetmask("eth0", buffer) == 0;
  std::string mask = buffer;
  std::fill(buffer, buffer + kQueryBuffer, 0);
  bool have_gateway = NetGetGateway("eth0", buffer) == 0;
  std::string gateway = buffer;
  std::string dns;
  bool have_dns = DnsServerFromResolvConf(&dns);

  // Other threads save and read these records: strings change only under the configuration
  // lock, and only when the value differs.
  // Called for every status request: a new configuration generation only when a value changed.
  bool changed = false;
  ConfigReadLock lock;
  if (have_ip) changed |= StoreIfChanged(g_unit.net_status.ipaddress, ip);
  if (have_mask) changed |= StoreIfChanged(g_unit.net_status.subnet, mask);
  if (have_gateway) changed |= StoreIfChanged(g_unit.net_status.gateway, gateway);
  if (have_dns) {
    changed |= StoreIfChanged(g_unit.net_status.dnsserver, dns);
    changed |= StoreIfChanged(g_unit.config.dnsserver, dns);
  }
  if (changed) CountConfigChange();
}
