#include "devctl/core/network_changes.h"

#include <arpa/inet.h>

#include <cctype>
#include <memory>
#include <regex>
#include <thread>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/file_copy.h"
#include "devctl/core/limits.h"
#include "devctl/core/markers.h"
#include "devctl/core/network_files.h"
#include "devctl/core/pending_network.h"
#include "devctl/core/port_restarts.h"
#include "devctl/core/reset_changes.h"
#include "devctl/core/unit_state.h"
#include "platform/listen_port.h"

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
  // A label may not begin or end with a hyphen.
  if (text.front() == '-' || text.back() == '-') return false;
  for (unsigned char c : text) {
    if (!std::isalnum(c) && c != '-') return false;
  }
  return true;
}

bool IsUsableHostAddress(const std::string& text) {
  in_addr parsed;
  if (text.size() > 15 || inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  const unsigned first = ntohl(parsed.s_addr) >> 24;
  // "This network" (0.x), loopback (127.x), multicast (224-239.x) and the reserved and
  // broadcast range (240-255.x) cannot be a unit's address or its gateway.
  return first != 0 && first != 127 && first < 224;
}

bool IsAssignableMacAddress(const std::string& text) {
  if (!IsValidMacAddress(text.c_str())) return false;
  unsigned octet[6];
  for (int i = 0; i < 6; ++i)
    octet[i] = unsigned(std::stoul(text.substr(size_t(i) * 3, 2), nullptr, 16));
  bool all_zero = true, all_ones = true;
  for (unsigned o : octet) {
    all_zero = all_zero && o == 0;
    all_ones = all_ones && o == 0xff;
  }
  // Bit 0 of the first octet marks a group (multicast) address.
  return !all_zero && !all_ones && (octet[0] & 1u) == 0;
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

namespace {

// Makes one change of the pending record durable: the record is saved merged into the live one and
// dhcpcd.conf written from it (and with the host name, the host-name files). Nothing is written
// while saves are frozen for the restart after a reset of everything. On failure the pending
// record is put back as before (and its dhcpcd.conf with it) and lines say why.
bool CommitPendingChange(UnitState& unit, const app_config_s& before, bool hostname,
                         std::string& lines) {
  if (ConfigSavesFrozen(unit.config_path)) {
    unit.pending = before;
    lines += kSaveFailedReply;
    return false;
  }
  if (RewriteDhcpcdConf(unit.pending) != 0) {
    unit.pending = before;
    lines += kNetworkFileFailedReply;
    return false;
  }
  if (!SavePendingNetworkEdit(unit.config_path)) {
    unit.pending = before;
    RewriteDhcpcdConf(unit.pending);
    lines += kSaveFailedReply;
    return false;
  }
  if (hostname && WriteHostname(unit.pending.hostname) != 0) {
    lines += kNetworkFileFailedReply;
    return false;
  }
  return true;
}

}  // namespace

bool SetPendingDhcp(UnitState& unit, int dhcp, std::string& lines) {
  const app_config_s before = unit.pending;
  unit.pending.dhcp = dhcp;
  if (!CommitPendingChange(unit, before, false, lines)) return false;
  // The mode line carries the hint without its leading ", ".
  lines += std::string("[SUCCESS]Set IP mode: ") + (dhcp != 0 ? "DHCP" : "Static") + " " +
           (kApplyHint + 2) + "\r\n";
  return true;
}

bool SetPendingAddress(UnitState& unit, AddressField field, const std::string& text,
                       std::string& lines) {
  const AddressFieldInfo& info = InfoOf(field);
  if (unit.pending.dhcp != 0) {
    lines += std::string(info.dhcp_error) + "\r\n";
    return false;
  }
  const app_config_s before = unit.pending;
  unit.pending.*info.field = text;
  if (!CommitPendingChange(unit, before, false, lines)) return false;
  lines += info.success + text + kApplyHint + "\r\n";
  return true;
}

bool SetPendingHostname(UnitState& unit, const std::string& name, std::string& lines) {
  const app_config_s before = unit.pending;
  unit.pending.hostname = name;
  if (!CommitPendingChange(unit, before, true, lines)) return false;
  lines += "[SUCCESS]Set DNS domain name: " + name + kApplyHint + "\r\n";
  return true;
}

RebootOutcome RebootToApplyNetwork(UnitState& unit) {
  // Saved before the reboot request; while the edit is open the save keeps it (pending_network.h),
  // and once the reboot is asked for the edit is no longer written back.
  return ChangeAndReboot([&unit] { return SaveAppConfig(unit.config_path, &unit.config); });
}

namespace {

bool IsNewPortUsable(int port, int stored_port, int enabled, ControlServer server) {
  if (port == stored_port) return true;
  return enabled != 0 ? ListenNow(server, port) : platform::CanListenOn(port);
}

}  // namespace

bool IsValidNetworkSettings(UnitState& unit, const NetworkSettings& s) {
  if (!IsAllowedControlPort(s.tcpport) || !IsAllowedControlPort(s.telnetport) ||
      s.tcpport == s.telnetport)
    return false;
  if (!IsValidHostName(s.hostname) || !IsValidModelName(s.model)) return false;
  if (s.dhcp == 0 &&  // the addresses are not used in DHCP mode
      !(IsPlainAddress(s.ipaddress, false) && IsUsableHostAddress(s.ipaddress) &&
        IsPlainAddress(s.subnet, true) && IsPlainAddress(s.gateway, false) &&
        IsUsableHostAddress(s.gateway)))
    return false;
  // Last, once nothing else refuses the request: a new port must be free, and a server that is on
  // gets it held at once, so no other program takes it before the restart listens there.
  return IsNewPortUsable(s.tcpport, unit.config.tcpport, unit.config.tcpportenable,
                         ControlServer::kTcp) &&
         IsNewPortUsable(s.telnetport, unit.config.telnetport, unit.config.telnet_enable,
                         ControlServer::kTelnet);
}

NetworkSettingsOutcome ApplyNetworkSettings(UnitState& unit, const NetworkSettings& s,
                                            std::string& lines) {
  NetworkSettingsOutcome out;
  // The changes are made on copies and become the live and pending records only once saved.
  auto live_copy = std::make_unique<app_config_s>(unit.config);
  auto pending_copy = std::make_unique<app_config_s>(unit.pending);
  app_config_s& live = *live_copy;
  app_config_s& pending = *pending_copy;
  std::string changes;
  bool tcp_restart = false, telnet_restart = false, hostname = false;
  if (s.dhcp != live.dhcp) {
    live.dhcp = pending.dhcp = s.dhcp;
    changes += ModeLine(s.dhcp);
    out.changed = out.address_changed = true;
  }
  if (s.tcpport != live.tcpport) {
    live.tcpport = pending.tcpport = s.tcpport;
    tcp_restart = true;
    changes += "[SUCCESS]Set TCP/IP port:" + std::to_string(s.tcpport) + ".\r\n";
    out.changed = true;
  }
  if (s.telnetport != live.telnetport) {
    live.telnetport = pending.telnetport = s.telnetport;
    telnet_restart = true;
    changes += "[SUCCESS]Set telnet port:" + std::to_string(s.telnetport) + ".\r\n";
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
      changes += a.prefix + a.value + ".\r\n";
      out.changed = out.address_changed = true;
    }
  }
  out.reboot = out.address_changed;
  if (s.hostname != live.hostname) {
    live.hostname = pending.hostname = s.hostname;
    hostname = true;
    changes += "[SUCCESS]Set DNS domain name to " + s.hostname + ".\r\n";
    out.changed = out.reboot = true;
  }
  if (s.model != live.model) {
    live.model = s.model;
    changes += "[SUCCESS]Set product model name to " + s.model + ".\r\n";
    out.changed = true;
  }
  if (!out.changed) return out;

  // Saved first, the reboot marker ready before that: a failure leaves every file and record as
  // it was.
  const auto save = [&] {
    return !ConfigSavesFrozen(unit.config_path) && SaveAppConfig(unit.config_path, &live);
  };
  if (out.reboot) {
    out.result = ChangeAndReboot(save);
  } else if (!save()) {
    out.result = RebootOutcome::kSaveFailed;
  }
  if (out.result != RebootOutcome::kRebooting) {
    out.changed = out.address_changed = out.reboot = false;
    return out;
  }
  unit.config = live;
  unit.pending = pending;
  // The port is stored before its restart flag: the service loop reads it when it sees the flag.
  if (tcp_restart) g_port_restarts.tcp = true;
  if (telnet_restart) g_port_restarts.telnet = true;
  if (hostname) WriteHostname(s.hostname);
  if (out.address_changed) RewriteDhcpcdConf(unit.config);
  lines += changes;
  return out;
}

void StartDhcpcdRestart() { std::thread(RestartDhcpcd).detach(); }

bool ChangeDhcpMode(UnitState& unit, int dhcp, std::string& lines) {
  dhcp = dhcp != 0 ? 1 : 0;
  if (dhcp == unit.config.dhcp) return false;
  // The file is written first (static: from the pending addresses): when it cannot be, the mode
  // stays as it is rather than rebooting into a mode dhcpcd was not set up for. The pending record
  // takes the mode too, so a save during an open text edit keeps it.
  const int old = unit.pending.dhcp;
  unit.pending.dhcp = dhcp;
  if (RewriteDhcpcdConf(unit.pending) != 0) {
    unit.pending.dhcp = old;
    return false;
  }
  unit.config.dhcp = dhcp;
  lines += ModeLine(dhcp);
  return true;
}

RebootOutcome ResetNetworkToDefaults(UnitState& unit, std::string& lines) {
  auto reset = std::make_unique<app_config_s>(unit.config);
  ResetNetworkConfig(unit.config_path, reset.get());
  const RebootOutcome outcome = ChangeAndReboot([&] {
    return !ConfigSavesFrozen(unit.config_path) && SaveAppConfig(unit.config_path, reset.get());
  });
  if (outcome != RebootOutcome::kRebooting) return outcome;
  unit.config = *reset;
  CopyEditedNetworkSettings(unit.config, &unit.pending);
  CopyTextFile(kDhcpTemplate, kDhcpConf);
  WriteHostname(unit.config.hostname);
  lines +=
      "[SUCCESS]Doing network reset, the network will restart, please wait for about 60 "
      "seconds.\r\n";
  return outcome;
}
