#include "devctl/text/device_commands.h"

#include "devctl/core/identity.h"
#include "devctl/core/identity_changes.h"
#include "devctl/core/network_changes.h"
#include "devctl/core/reset_changes.h"
#include "devctl/core/temperature.h"
#include "devctl/text/reply_text.h"

namespace {

constexpr size_t kSerialLimit = 1023;
constexpr size_t kMacLimit = 255;

}  // namespace

// The resets and the reboot save before they ask for the reboot: nothing is left for the
// dispatcher to save.

bool TermResetSystem(int, char*, int, std::string& reply) {
  reply += OutcomeLine(ResetSystemSettingsAndReboot(), kSystemResetLine);
  return false;
}

bool TermResetAll(int, char*, int, std::string& reply) {
  reply += OutcomeLine(ResetAllSettingsAndReboot(), kResetAllLine);
  return false;
}

bool TermReboot(int, char*, int, std::string& reply) {
  reply += OutcomeLine(RebootUnit(), kRebootLine);
  return false;
}

bool TermPrintTemperature(int, char*, int, std::string& reply) {
  reply += "The temperature of the system is " + std::to_string(ReadTemperature()) + "C.\r\n";
  return false;
}

bool TermGetSerialNumber(int, char*, int, std::string& reply) {
  reply += "NET SN:" + SerialNumber() + "\r\n";
  return false;
}

bool TermSetSerialNumber(int, char* line, int, std::string& reply) {
  SetSerialNumber(TextAfter(line, "NETSN", kSerialLimit), reply);
  return false;
}

bool TermGetSubMac(int, char*, int, std::string& reply) {
  std::string mac;
  LoadSubMacAddress(&mac);
  reply += "Sub Mac:" + mac + "\r\n";
  return false;
}

bool TermSetMac(int, char* line, int, std::string& reply) {
  const std::string value = TextAfter(line, "NETMAC", kMacLimit);
  if (!IsAssignableMacAddress(value)) {
    return RefuseRange("Set MAC", reply);
  }
  return SetMacAddress(value, reply);
}

bool TermSetSubMac(int, char* line, int, std::string& reply) {
  const std::string value = TextAfter(line, "NETSUBMAC", kMacLimit);
  if (!IsAssignableMacAddress(value)) {
    return RefuseRange("Set sub MAC", reply);
  }
  SetSubMacAddress(value, reply);
  return false;
}
