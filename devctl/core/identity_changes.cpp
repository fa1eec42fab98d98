#include "devctl/core/identity_changes.h"

#include "devctl/core/config_defaults.h"
#include "devctl/core/identity.h"
#include "devctl/core/network_changes.h"
#include "devctl/core/network_files.h"
#include "devctl/core/stored_file.h"
#include "devctl/core/unit_state.h"
#include "platform/storage.h"

bool SetSerialNumber(const std::string& value, std::string& lines) {
  if (WriteStoredFile("/oem/serialnumber", value) != 0) {
    lines += "[ERROR]Set SN failed.\r\n";
    return false;
  }
  lines += "[SUCCESS]Set SN to " + value + ".\r\n";
  platform::SyncFileSystems();
  return true;
}

std::string SerialNumber() {
  std::string word;
  ReadFirstWord("/oem/serialnumber", &word);
  return word;
}

bool SetMacAddress(UnitState& unit, const std::string& value, std::string& lines) {
  const std::string mac = NormalizedMacAddress(value);
  if (WriteStoredFile("/oem/mac", mac) != 0) {
    lines += "[ERROR]Set MAC failed.\r\n";
    return false;
  }
  unit.identity.mac = mac;
  lines += "[SUCCESS]Set MAC:" + mac + kApplyHint + "\r\n";
  unit.config.hostname = unit.pending.hostname = kDefaultModel;
  WriteHostname(kDefaultModel);
  WriteMacsToVendorStorage(unit.identity.mac.c_str(), unit.identity.sub_mac.c_str());
  platform::SyncFileSystems();
  return true;
}

bool SetSubMacAddress(UnitState& unit, const std::string& value, std::string& lines) {
  const std::string mac = NormalizedMacAddress(value);
  if (WriteStoredFile("/oem/sub_mac", mac) != 0) {
    lines += "[ERROR]Set sub MAC failed.\r\n";
    return false;
  }
  unit.identity.sub_mac = mac;
  lines += "[SUCCESS]Set sub MAC:" + mac + kApplyHint + "\r\n";
  WriteMacsToVendorStorage(unit.identity.mac.c_str(), unit.identity.sub_mac.c_str());
  platform::SyncFileSystems();
  return true;
}
