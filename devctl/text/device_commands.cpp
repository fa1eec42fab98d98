#include "devctl/text/device_commands.h"

#include "devctl/core/identity.h"
#include "devctl/core/identity_changes.h"
#include "devctl/core/network_changes.h"
#include "devctl/core/reset_changes.h"
#include "devctl/core/temperature.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/reply_text.h"

namespace {

constexpr size_t kSerialLimit = 1023;
constexpr size_t kMacLimit = 255;

}  // namespace

// The resets and the reboot save before they ask for the reboot: nothing is left for the
// dispatcher to save.

bool TermResetSystem(const PreparedLine&, std::string& reply) {
  reply += OutcomeLine(ResetSystemSettingsAndReboot(g_unit), kSystemResetLine);
  return false;
}

bool TermResetAll(const PreparedLine&, std::string& reply) {
  reply += OutcomeLine(ResetAllSettingsAndReboot(g_unit), kResetAllLine);
  return false;
}

bool TermReboot(const PreparedLine&, std::string& reply) {
  reply += OutcomeLine(RebootUnit(g_unit), kRebootLine);
  return false;
}

bool TermPrintTemperature(const PreparedLine&, std::string& reply) {
  reply += "The temperature of the system is " + std::to_string(ReadTemperature()) + "C.\r\n";
  return false;
}

bool TermGetSerialNumber(const PreparedLine&, std::string& reply) {
  reply += "NET SN:" + SerialNumber() + "\r\n";
  return false;
}

bool TermSetSerialNumber(const PreparedLine& line, std::string& reply) {
  SetSerialNumber(TextAfter(line.condensed, "NETSN", kSerialLimit), reply);
  return false;
}

bool TermGetSubMac(const PreparedLine&, std::string& reply) {
  std::string mac;
  LoadSubMacAddress(&mac);
  reply += "Sub Mac:" + mac + "\r\n";
  return false;
}

bool TermSetMac(const PreparedLine& line, std::string& reply) {
  const std::string value = TextAfter(line.condensed, "NETMAC", kMacLimit);
  if (!IsAssignableMacAddress(value)) {
    return RefuseRange("Set MAC", reply);
  }
  return SetMacAddress(g_unit, value, reply);
}

bool TermSetSubMac(const PreparedLine& line, std::string& reply) {
  const std::string value = TextAfter(line.condensed, "NETSUBMAC", kMacLimit);
  if (!IsAssignableMacAddress(value)) {
    return RefuseRange("Set sub MAC", reply);
  }
  SetSubMacAddress(g_unit, value, reply);
  return false;
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

const TextRow kDeviceRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("TEMP"); }, TermPrintTemperature, 0, "TEMP"},
    // RESET ALL before RESET. Both only ask; the next line of the same port answers.
    {[](const PreparedLine& l) { return l.Begins("RESETALL"); }, TermResetAll, kSaves, "RESET ALL",
     "Sure to reset system and network settings to default? Type \"Yes\" after next prompt to "
     "confirm...\r\n"},
    {[](const PreparedLine& l) { return l.Begins("RESET"); }, TermResetSystem, kWakes | kSaves,
     "RESET",
     "Sure to reset system settings to default? Type \"Yes\" after next prompt to "
     "confirm...\r\n"},
    {[](const PreparedLine& l) { return l.Begins("REBOOT"); }, TermReboot, kWakesWhenOff, "REBOOT"},
};

const TextRow kIdentityRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("NETMAC"); }, TermSetMac, kSaves,
     "NETMAC 02:11:22:33:44:55"},
    {[](const PreparedLine& l) { return l.Begins("NETSUBMAC"); }, TermSetSubMac, 0,
     "NETSUBMAC 02:11:22:33:44:56"},
    {[](const PreparedLine& l) { return l.Begins("GETNETSUBMAC"); }, TermGetSubMac, 0,
     "GETNETSUBMAC"},
    {[](const PreparedLine& l) { return l.Begins("NETSN"); }, TermSetSerialNumber, 0, "NETSN 123"},
    {[](const PreparedLine& l) { return l.Begins("GETNETSN"); }, TermGetSerialNumber, 0,
     "GETNETSN"},
};

const text_command_s kTemperatureHelpList[] = {
    {0, "TEMP", TermPrintTemperature,
     FormatHelpText(nullptr, "TEMP", {"Print System Temperature"})},
};

const text_command_s kResetHelpList[] = {
    {0, "RESET", TermResetSystem,
     FormatHelpText(nullptr, "RESET",
                    {"Reset System Settings To Default",
                     "(Should Type \"Yes\" To Confirm, \"No\" To Discard)"})},
    {0, "RESET ALL", TermResetAll,
     FormatHelpText(nullptr, "RESET ALL",
                    {"Reset System And Network Settings To Default",
                     "(Should Type \"Yes\" To Confirm, \"No\" To Discard)"})},
    {0, "REBOOT", TermReboot, FormatHelpText(nullptr, "REBOOT", {"Set System Reboot"})},
};

}  // namespace

const TextRows kDeviceRows = SliceOf(kDeviceRowList);
const TextRows kIdentityRows = SliceOf(kIdentityRowList);

const HelpRows kTemperatureHelp = SliceOf(kTemperatureHelpList);
const HelpRows kResetHelp = SliceOf(kResetHelpList);
