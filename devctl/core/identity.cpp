#include "devctl/core/identity.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "devctl/core/config_lock.h"
#include "devctl/core/net_interface.h"
#include "devctl/core/stored_file.h"
#include "devctl/core/unit_state.h"
#include "platform/paths.h"
#include "platform/storage.h"
#include "platform/vendor_storage.h"

namespace {

constexpr const char* kVendorStorageDevice = "/dev/vendor_storage";

void LoadMacFile(const char* file, const char* ifname, std::string* out) {
  if (!UnitFileExists(file)) {
    char mac[64] = {};
    // Without an address the file is not created: an empty file would stay for good.
    if (NetGetMac(ifname, mac) == 0) WriteStoredFile(file, mac);
  }
  if (!UnitFileExists(file)) return;
  ReadFirstWord(file, out);
  platform::SyncFileSystems();
}

}  // namespace

void LoadMacAddress(std::string* out) { LoadMacFile("/oem/mac", "eth0", out); }

void LoadSubMacAddress(std::string* out) { LoadMacFile("/oem/sub_mac", "enp1s0", out); }

int WriteVendorStorageMacItem(int fd, const char* text) {
  vendor_storage_req_s req;
  std::memset(&req, 0, sizeof req);
  uint8_t* m = req.data;
  int converted = text == nullptr ? 0
                                  : std::sscanf(text,
                                                "%02hhx:%02hhx:%02hhx:%02hhx:%02hhx:%02hhx "
                                                "%02hhx:%02hhx:%02hhx:%02hhx:%02hhx:%02hhx",
                                                &m[0], &m[1], &m[2], &m[3], &m[4], &m[5], &m[6],
                                                &m[7], &m[8], &m[9], &m[10], &m[11]);
  if (converted != 12) {
    std::printf("Invalid mac address: %s\n", text ? text : "(null)");
    return -1;
  }
  req.tag = kVendorStorageTag;
  req.id = kVendorMacItemId;
  req.len = 12;
  if (platform::vendor_storage().Ioctl(fd, kVendorStorageWriteRequest, &req) != 0) {
    std::printf("ioctl write failed\n");
    return -1;
  }
  return 0;
}

int WriteMacsToVendorStorage(const char* mac1, const char* mac2) {
  platform::VendorStorageIo& device = platform::vendor_storage();
  int fd = device.Open(platform::Path(kVendorStorageDevice));
  if (fd < 0) {
    std::printf("Failed to open %s: %s\n", kVendorStorageDevice, std::strerror(errno));
    return -1;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%s %s", mac1 ? mac1 : "", mac2 ? mac2 : "");
  int result = WriteVendorStorageMacItem(fd, text);
  device.Close(fd);
  return result;
}

namespace {

void ReadVersionInto(const char* file, std::string device_identity_s::*member) {
  std::string word;
  if (!ReadFirstWord(file, &word)) return;
  ConfigLock lock;
  g_unit.identity.*member = word;
}

}  // namespace

void ReadMainVersion() {
  ReadVersionInto("/usr/local/backend/apps/version", &device_identity_s::main_version);
}

void ReadMcuVersion() { ReadVersionInto("/tmp/mcu_version", &device_identity_s::mcu_version); }
