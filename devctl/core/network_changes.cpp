#include "devctl/core/network_changes.h"

#include <arpa/inet.h>

#include <cctype>
#include <regex>
#include <thread>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/file_copy.h"
#include "devctl/core/globals.h"
#include "devctl/core/limits.h"
#include "devctl/core/markers.h"
#include "devctl/core/network_files.h"
#include "devctl/core/pending_network.h"
#include "devctl/core/port_restarts.h"

namespace {

constexpr char kDhcpTemplate[] = "/usr/local/backend/apps/dhcpcd.conf";
constexpr char kDhcpConf[] = "/etc/dhcpcd.conf";

// Ports the unit's other services listen on.
constexpr int kReservedPorts[] = {22, 80, 5037, 5555, 36713, 44897};

bool Matches(const char* text, const std::regex& pattern) {
  return text != nullptr && std::regex_match(std::string(text), pattern);
}

struct AddressFieldInfo {
  std::string app_config_s::*field;
  const char* dhcp_error;
  const char* success;
};

const AddressFieldInfo& InfoOf(AddressField f) {
  static const AddressFieldInfo kInfo[] = {
      {&app_config_s::ipaddress,
       "[ERROR]The system is in DHCP mode, please disable DHCP first before setting a STATIC IP "
       "address.",
       "[SUCCESS]Set IP address: "},
      {&app_config_s::gateway,
       "[ERROR]The system is in DHCP mode, please disable DHCP first before setting the GATEWAY.",
       "[SUCCESS]Set gateway:"},
      {&app_config_s::subnet,
       "[ERROR]The system is in DHCP mode, please disable DHCP first before setting the SUBNET "
       "MASK.",
       "[SUCCESS]Set subnet mask:"},
  };
  return kInfo[static_cast<int>(f)];
}

// The line of a mode change made in one step (web, front panel).
std::string ModeLine(int dhcp) {
  return std::string("[SUCCESS]Set IP mode: ") + (dhcp != 0 ? "DHCP." : "Static.") + "\r\n";
}

}  // namespace

bool IsValidIpAddress(const char* text) {
  static const std::regex pattern(
      "((2[0-5][0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?).){3}(2[0-5][0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)");
  return Matches(text, pattern);
}

bool IsValidSubnetMask(const char* text) {
  static const std::regex pattern(
      "((255|254|252|248|240|224|192|128)(.0){3})|(255.(255|254|252|248|240|224|192|128)(.0){2})|"
      "(255.255.(255|254|252|248|240|224|192|128).0)|(255.255.255.(254|252|248|240|224|192|128))");
  return Matches(text, pattern);
}

bool IsValidMacAddress(const char* text) {
  static const std::regex pattern("^([0-9a-fA-F]{2})(([/\\s:][0-9a-fA-F]{2}){5})$");
  return Matches(text, pattern);
}

bool IsValidName(const char* text) {
  static const std::regex pattern("^[0-9a-zA-Z]{1,128}$");
  return Matches(text, pattern);
}

bool IsValidHostName(const std::string& text) {
  if (text.empty() || text.size() > kMaxHostNameLength) return false;
  for (unsigned char c : text) {
    if (!std::isalnum(c) && c != '-') return false;
  }
  return true;
}

bool IsPlainAddress(const std::string& text, bool mask) {
  in_addr parsed;
  if (text.size() > 15 || inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  return mask ? IsValidSubnetMask(text.c_str()) : IsValidIpAddress(text.c_str());
}

bool IsValidModelName(const std::string& text) {
  if (text.empty() || text.size() > kMaxModelNameLength) return false;
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7e) return false;
  }
  return true;
}

bool IsAllowedControlPort(int port) {
  if (port < 1 || port > kMaxPort) return false;
  for (int reserved : kReservedPorts) {
    if (port == reserved) return false;
  }
  return true;
}

std::string NormalizedMacAddress(const std::string& text) {
  std::string mac = text;
  for (size_t i = 2; i < mac.size(); i += 3) mac[i] = ':';
  return mac;
}

int RewriteDhcpcdConf(const app_config_s& record) {
  if (record.dhcp != 0) return CopyTextFile(kDhcpTemplate, kDhcpConf);
  return WriteDhcpcdStaticFor(record.ipaddress, record.subnet, record.gateway, record.dnsserver);
}

void SetPendingDhcp(int dhcp, std::string& lines) {
  g_pending_config.dhcp = dhcp;
  RewriteDhcpcdConf(g_pending_config);
  // The mode line carries the hint without its leading ", ".
  lines += std::string("[SUCCESS]Set IP mode: ") + (dhcp != 0 ? "DHCP" : "Static") + " " +
           (kApplyHint + 2) + "\r\n";
}

bool SetPendingAddress(AddressField field, const std::string& text, std::string& lines) {
  const AddressFieldInfo& info = InfoOf(field);
  if (g_pending_config.dhcp != 0) {
    lines += std::string(info.dhcp_error) + "\r\n";
    return false;
  }
  g_pending_config.*info.field = text;
  RewriteDhcpcdConf(g_pending_config);
  lines += info.success + text + kApplyHint + "\r\n";
  return true;
}

void SetPendingHostname(const std::string& name, std::string& lines) {
  g_pending_config.hostname = name;
  WriteHostname(name);
  lines += "[SUCCESS]Set DNS domain name: " + name + kApplyHint + "\r\n";
}

bool RebootToApplyNetwork(std::string& lines) {
  // Saved before the reboot request; while the edit is open the save keeps it (pending_network.h).
  const bool saved = SaveAppConfig(g_config_path, &g_app_config);
  lines += "[SUCCESS]Set network reboot and apply new config.\r\n";
  RequestReboot2();
  return saved;
}

bool IsValidNetworkSettings(const NetworkSettings& s) {
  if (!IsAllowedControlPort(s.tcpport) || !IsAllowedControlPort(s.telnetport) ||
      s.tcpport == s.telnetport)
    return false;
  if (!IsValidHostName(s.hostname) || !IsValidModelName(s.model)) return false;
  if (s.dhcp != 0) return true;  // the addresses are not used in DHCP mode
  return IsPlainAddress(s.ipaddress, false) && IsPlainAddress(s.subnet, true) &&
         IsPlainAddress(s.gateway, false);
}

NetworkSettingsOutcome ApplyNetworkSettings(const NetworkSettings& s, std::string& lines) {
  NetworkSettingsOutcome out;
  app_config_s& live = g_app_config;
  app_config_s& pending = g_pending_config;
  if (s.dhcp != live.dhcp) {
    live.dhcp = pending.dhcp = s.dhcp;
    lines += ModeLine(s.dhcp);
    out.changed = out.address_changed = true;
  }
  // The port is stored before its restart flag: the service loop reads it when it sees the flag.
  if (s.tcpport != live.tcpport) {
    live.tcpport = pending.tcpport = s.tcpport;
    g_tcp_restart = true;
    lines += "[SUCCESS]Set TCP/IP port:" + std::to_string(s.tcpport) + ".\r\n";
    out.changed = true;
  }
  if (s.telnetport != live.telnetport) {
    live.telnetport = pending.telnetport = s.telnetport;
    g_telnet_restart = true;
    lines += "[SUCCESS]Set telnet port:" + std::to_string(s.telnetport) + ".\r\n";
    out.changed = true;
  }
  if (live.dhcp == 0) {
    const struct {
      const std::string& value;
      std::string app_config_s::*field;
      const char* prefix;
    } addresses[] = {{s.ipaddress, &app_config_s::ipaddress, "[SUCCESS]Set IP address: "},
                     {s.subnet, &app_config_s::subnet, "[SUCCESS]Set subnet mask:"},
                     {s.gateway, &app_config_s::gateway, "[SUCCESS]Set gateway:"}};
    for (const auto& a : addresses) {
      if (a.value == live.*a.field) continue;
      live.*a.field = pending.*a.field = a.value;
      lines += a.prefix + a.value + ".\r\n";
      out.changed = out.address_changed = true;
    }
  }
  out.reboot = out.address_changed;
  if (s.hostname != live.hostname) {
    live.hostname = pending.hostname = s.hostname;
    WriteHostname(s.hostname);
    lines += "[SUCCESS]Set DNS domain name to " + s.hostname + ".\r\n";
    out.changed = out.reboot = true;
  }
  if (s.model != live.model) {
    live.model = s.model;
    lines += "[SUCCESS]Set product model name to " + s.model + ".\r\n";
    out.changed = true;
  }
  if (out.address_changed) RewriteDhcpcdConf(live);
  return out;
}

void StartDhcpcdRestart() { std::thread(RestartDhcpcd).detach(); }

bool ChangeDhcpMode(int dhcp, std::string& lines) {
  dhcp = dhcp != 0 ? 1 : 0;
  if (dhcp == g_app_config.dhcp) return false;
  // The file is written first (static: from the pending addresses): when it cannot be, the mode
  // stays as it is rather than rebooting into a mode dhcpcd was not set up for. The pending record
  // takes the mode too, so a save during an open text edit keeps it.
  const int old = g_pending_config.dhcp;
  g_pending_config.dhcp = dhcp;
  if (RewriteDhcpcdConf(g_pending_config) != 0) {
    g_pending_config.dhcp = old;
    return false;
  }
  g_app_config.dhcp = dhcp;
  lines += ModeLine(dhcp);
  return true;
}

bool ResetNetworkToDefaults(std::string& lines) {
  CopyTextFile(kDhcpTemplate, kDhcpConf);
  ResetNetworkConfig(g_config_path, &g_app_config);
  CopyEditedNetworkSettings(g_app_config, &g_pending_config);
  WriteHostname(g_app_config.hostname);
  const bool saved = SaveAppConfig(g_config_path, &g_app_config);
  lines += "[SUCCESS]Doing network reset, the network will restart, please wait for about 60 "
           "seconds.\r\n";
  RequestReboot();
  return saved;
}
