#include "devctl/core/network_files.h"

#include <arpa/inet.h>

#include <bitset>
#include <cctype>
#include <cstdio>

#include "devctl/core/config_lock.h"
#include "devctl/core/stored_file.h"
#include "devctl/core/unit_state.h"
#include "platform/clock.h"
#include "platform/command.h"
#include "platform/paths.h"
#include "platform/storage.h"

namespace {

bool ParseIpv4(const std::string& text, in_addr* out) {
  return inet_pton(AF_INET, text.c_str(), out) == 1;
}

// An IPv4 address, or an IPv6 address with or without a zone ("fe80::1%eth0"), the zone an
// interface name.
bool IsNameServerAddress(const std::string& text) {
  in_addr v4;
  if (ParseIpv4(text, &v4)) return true;
  const size_t zone = text.find('%');
  const std::string address = text.substr(0, zone);
  in6_addr v6;
  if (inet_pton(AF_INET6, address.c_str(), &v6) != 1) return false;
  if (zone == std::string::npos) return true;
  const std::string name = text.substr(zone + 1);
  if (name.empty() || name.size() > 15) return false;
  for (unsigned char c : name) {
    if (!std::isalnum(c) && c != '.' && c != '-' && c != '_') return false;
  }
  return true;
}

}  // namespace

int WriteHostname(std::string name) {
  int result = 0;
  if (WriteStoredFile("/etc/hostname", name) != 0) result = -1;
  if (WriteStoredFile("/tmp/hostname", "1") != 0) result = -1;
  platform::SyncFileSystems();
  platform::SleepMs(1);
  return result;
}

bool FormatDhcpcdStatic(const std::string& address, const std::string& subnet,
                        const std::string& gateway, const std::string& dns, std::string* text) {
  in_addr a, mask, g;
  if (!ParseIpv4(address, &a) || !ParseIpv4(subnet, &mask) || !ParseIpv4(gateway, &g) ||
      !IsNameServerAddress(dns))
    return false;
  // Every set bit counts, contiguous or not.
  int prefix = int(std::bitset<32>(ntohl(mask.s_addr)).count());
  *text = "interface eth0\nstatic ip_address=" + address + "/" + std::to_string(prefix) +
          "\nstatic routers=" + gateway + "\nstatic domain_name_servers=" + dns +
          "\n# Secondary port interface\ninterface enp1s0\n# Use private address 172.31.x.x for "
          "secondary link(Tarvo convention)\nipv4_ll_private\n";
  return true;
}

int WriteDhcpcdStaticFor(const std::string& address, const std::string& subnet,
                         const std::string& gateway, const std::string& dns) {
  std::string text;
  if (!FormatDhcpcdStatic(address, subnet, gateway, dns, &text)) {
    std::printf("dhcpcd.conf not written: invalid network settings\n");
    return -1;
  }
  int result = WriteStoredFile("/etc/dhcpcd.conf", text);
  platform::SyncFileSystems();
  return result;
}

void RestartDhcpcd() {
  platform::SleepMs(200);
  platform::RunCommand(platform::Path("/etc/init.d/S41dhcpcd") + " restart");
}

int WriteDhcpcdStatic() {
  std::string address, subnet, gateway, dns;
  {
    ConfigLock lock;
    address = g_unit.config.ipaddress;
    subnet = g_unit.config.subnet;
    gateway = g_unit.config.gateway;
    dns = g_unit.config.dnsserver;
  }
  return WriteDhcpcdStaticFor(address, subnet, gateway, dns);
}
