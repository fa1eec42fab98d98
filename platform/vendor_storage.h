// The Rockchip vendor-storage device ("/dev/vendor_storage"): opened, given one write request,
// closed. The board uses the device; the simulated build keeps the written items under the root.
#pragma once

#include <string>

namespace platform {

class VendorStorageIo {
 public:
  virtual ~VendorStorageIo() = default;
  // Opens the resolved device path read-write. A descriptor, or -1 with errno set.
  virtual int Open(const std::string& resolved_path) = 0;
  // Issues a request on the open device. 0 on success, non-zero on failure.
  virtual int Ioctl(int fd, unsigned long request, void* record) = 0;
  virtual void Close(int fd) = 0;
};

// The device in use (the kernel's on the board, the simulated one otherwise).
VendorStorageIo& vendor_storage();
// Installs a device (nullptr restores the default). Not owned.
void SetVendorStorage(VendorStorageIo* io);

}  // namespace platform
