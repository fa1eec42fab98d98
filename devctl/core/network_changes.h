// The network settings changes: the checks every front end applies to addresses and names before
// they reach a system file, the text protocol's network edit (kept in g_unit.pending until
// "NET RB"), the web's one-request network settings, the front panel's mode change and the
// network defaults. The caller holds the configuration lock.
#pragma once

#include <string>

#include "devctl/core/app_config.h"
#include "devctl/core/reset_changes.h"
#include "devctl/core/unit_state.h"

// The reply line of a change whose system file (dhcpcd.conf, the host name) could not be written.
constexpr char kNetworkFileFailedReply[] = "[ERROR]Network configuration could not be written.\r\n";

// The reply tail of a text network edit.
constexpr char kApplyHint[] =
    ", (Please use \"NET RB\" command or re-power device to apply new config!)";

// Four numbers 0-255 separated by dots (the text commands' own formatting of what they read).
bool IsValidIpAddress(const char* text);
// A contiguous mask from 128.0.0.0 to 255.255.255.254.
bool IsValidSubnetMask(const char* text);
// Six pairs of hex digits separated by ':', '/' or white space (mixed separators allowed).
bool IsValidMacAddress(const char* text);
// 1-128 letters and digits. No caller yet: kept for a name setting limited to letters and digits.
bool IsValidName(const char* text);
// A host name: 1-32 of [0-9A-Za-z-], neither beginning nor ending with '-'.
bool IsValidHostName(const std::string& text);
// An address a unit can have or route through on a real network: a plain dotted quad outside
// 0.x, 127.x and 224-255.x (multicast, reserved, broadcast).
bool IsUsableHostAddress(const std::string& text);
// A MAC address IsValidMacAddress accepts that can be an interface's own: not all zeros, not all
// ones and not a group (multicast) address.
bool IsAssignableMacAddress(const std::string& text);
// A plain dotted quad (inet_pton, nothing else in the text) that IsValidIpAddress accepts; with
// mask set, one IsValidSubnetMask accepts.
bool IsPlainAddress(const std::string& text, bool mask);
// A model name: 1-31 printable ASCII characters.
bool IsValidModelName(const std::string& text);
// A control-server port: 1-65535 and none of the ports other services of the unit use.
bool IsAllowedControlPort(int port);
// A MAC address with its separators made ':' (the form the identity files and the vendor storage
// use); the text must pass IsValidMacAddress.
std::string NormalizedMacAddress(const std::string& text);

// "/etc/dhcpcd.conf" for the record's mode: the DHCP template, or the static configuration from
// its addresses. 0, or -1 when it could not be written (the old file then stays).
int RewriteDhcpcdConf(const app_config_s& record);

// --- The text protocol's network edit (g_unit.pending; saved merged into the live record). ---
// Each change is saved at once and dhcpcd.conf (and for the host name, its files) written from the
// pending record. A change that cannot be saved or written is taken back, with kSaveFailedReply
// (also while saves are frozen for the restart after a reset of everything) or
// kNetworkFileFailedReply in lines instead of the success line. True when the change stands.

// Pending dhcp := dhcp.
bool SetPendingDhcp(UnitState& unit, int dhcp, std::string& lines);

enum class AddressField { kIpAddress, kGateway, kSubnetMask };
// Pending address field := text (already checked); refused, with the field's DHCP-mode refusal
// in lines, while the pending mode is DHCP.
bool SetPendingAddress(UnitState& unit, AddressField field, const std::string& text,
                       std::string& lines);

// Pending host name := name (already checked).
bool SetPendingHostname(UnitState& unit, const std::string& name, std::string& lines);

// Saves the live record merged with the pending edit, then asks for the reboot that applies it
// (after the reply). The caller wakes the unit first, so the saved record comes back powered on.
// Success line "[SUCCESS]Set network reboot and apply new config.".
RebootOutcome RebootToApplyNetwork(UnitState& unit);
constexpr char kNetworkRebootLine[] = "[SUCCESS]Set network reboot and apply new config.\r\n";

// --- The web's network settings. ---

struct NetworkSettings {
  int dhcp = 0;
  int tcpport = 0;
  int telnetport = 0;
  std::string ipaddress, subnet, gateway, hostname, model;
};

// Checks a request as the text commands check each value: ports allowed, different and free,
// host name and model valid, and the three addresses plain dotted quads (address and gateway
// usable by a host) whenever the mode they would be applied in is static. The caller holds the
// configuration lock.
bool IsValidNetworkSettings(UnitState& unit, const NetworkSettings& s);

struct NetworkSettingsOutcome {
  bool changed = false;          // some value differed and the change stands (saved)
  bool address_changed = false;  // dhcpcd.conf was rewritten
  bool reboot = false;           // the reboot follows the reply
  RebootOutcome result = RebootOutcome::kRebooting;  // kSaveFailed / kRebootFailed: nothing done
};

// Every value that differs from the live record goes into copies of the live and the pending
// record (the model into the live one only); the live copy is saved (the reboot marker written
// first when the change needs a reboot) and only then do the copies become the records, the
// host-name files and dhcpcd.conf get written, the server restart flags go up and one line per
// change is appended. When the save or the marker fails nothing changes. s must have passed
// IsValidNetworkSettings.
NetworkSettingsOutcome ApplyNetworkSettings(UnitState& unit, const NetworkSettings& s,
                                            std::string& lines);

// Restarts dhcpcd on a short-lived thread (200 ms, then its init script), so a rewritten
// dhcpcd.conf is taken up before the reboot.
void StartDhcpcdRestart();

// --- The front panel's mode change. ---

// Live dhcp := dhcp after dhcpcd.conf was rewritten for it (the static addresses of the pending
// record); appends "[SUCCESS]Set IP mode: DHCP." / "Static.". False, with nothing changed, when
// the mode is already dhcp or the file could not be written.
bool ChangeDhcpMode(UnitState& unit, int dhcp, std::string& lines);

// --- Network defaults. ---

// The ten network settings of the live (and pending) record at their defaults, saved first; then
// dhcpcd.conf back to the DHCP template, the default host name written, the line appended and the
// reboot asked for (after the reply). When the save or the marker fails nothing changes.
RebootOutcome ResetNetworkToDefaults(UnitState& unit, std::string& lines);
