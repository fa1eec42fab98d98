// Changes of the unit's identity files: the serial number and the two MAC addresses. The caller
// holds the configuration lock and has checked the MAC text (IsValidMacAddress).
#pragma once

#include <string>

#include "devctl/core/unit_state.h"

// "/oem/serialnumber" := value (any text, also empty). False, with "[ERROR]Set SN failed." in
// lines and the old file kept, when it could not be written.
bool SetSerialNumber(const std::string& value, std::string& lines);
// The first word of "/oem/serialnumber", empty when there is none.
std::string SerialNumber();

// "/oem/mac" := the address with ':' separators, the identity's mac, the host name back to the
// model code (live and pending record, host-name files) and both addresses into the vendor
// storage. The caller saves. False, with "[ERROR]Set MAC failed." and nothing changed, when the
// file could not be written.
bool SetMacAddress(UnitState& unit, const std::string& value, std::string& lines);
// The same for "/oem/sub_mac" and the identity's sub_mac; the host name stays.
bool SetSubMacAddress(UnitState& unit, const std::string& value, std::string& lines);
