// The unit's identity: MAC address files, the vendor-storage copy of both addresses, and the
// firmware version files.
#pragma once

#include <cstdint>
#include <string>

// One vendor-storage item as the device takes it (1032 bytes, little-endian).
struct vendor_storage_req_s {
  uint32_t tag;
  uint16_t id;
  uint16_t len;
  uint8_t data[1024];
};
static_assert(sizeof(vendor_storage_req_s) == 1032, "vendor-storage record layout");

constexpr uint32_t kVendorStorageTag = 0x56524551;
constexpr uint16_t kVendorMacItemId = 3;
constexpr unsigned long kVendorStorageWriteRequest = 0x40047602;

// Reads the first word of "/oem/mac" into *out. When the file is missing it is first created
// from eth0's address; when that query fails no file is created (the next start tries again).
void LoadMacAddress(std::string* out);
// The same with "/oem/sub_mac" and enp1s0.
void LoadSubMacAddress(std::string* out);

// Stores both addresses as one vendor-storage item. 0, or -1 when the device cannot be opened or
// the item cannot be written.
int WriteMacsToVendorStorage(const char* mac1, const char* mac2);
// Parses "xx:..:xx xx:..:xx" and writes the item on the open device. 0 or -1.
int WriteVendorStorageMacItem(int fd, const char* text);

// First word of "/usr/local/backend/apps/version" into the identity's main version; a missing or
// empty file leaves it as it was.
void ReadMainVersion();
// First word of "/tmp/mcu_version" (left by the MCU version tool) into the MCU version.
void ReadMcuVersion();
