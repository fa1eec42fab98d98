#include "platform/vendor_storage.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>

namespace platform {
namespace {

#ifndef DEVCTL_SIM
class KernelVendorStorage : public VendorStorageIo {
 public:
  int Open(const std::string& resolved_path) override {
    return ::open(resolved_path.c_str(), O_RDWR | O_CLOEXEC);
  }
  int Ioctl(int fd, unsigned long request, void* record) override {
    return ::ioctl(fd, request, record);
  }
  void Close(int fd) override { ::close(fd); }
};
#else
// The simulated device is a plain file under the root: it exists when the simulated board has the
// device, and each written item (8-byte header and its data) is stored at the file's start.
class FileVendorStorage : public VendorStorageIo {
 public:
  int Open(const std::string& resolved_path) override {
    return ::open(resolved_path.c_str(), O_RDWR | O_CLOEXEC);
  }
  int Ioctl(int fd, unsigned long request, void* record) override {
    constexpr unsigned long kWriteRequest = 0x40047602;
    if (request != kWriteRequest || record == nullptr) return -1;
    const auto* bytes = static_cast<const unsigned char*>(record);
    uint16_t len = 0;
    std::memcpy(&len, bytes + 6, sizeof len);
    size_t size = 8 + (len > 1024 ? 1024 : len);
    if (::ftruncate(fd, 0) != 0) return -1;
    return ::pwrite(fd, bytes, size, 0) == ssize_t(size) ? 0 : -1;
  }
  void Close(int fd) override { ::close(fd); }
};
#endif

VendorStorageIo& DefaultDevice() {
#ifdef DEVCTL_SIM
  static FileVendorStorage device;
#else
  static KernelVendorStorage device;
#endif
  return device;
}

std::atomic<VendorStorageIo*> g_device{nullptr};

}  // namespace

VendorStorageIo& vendor_storage() {
  VendorStorageIo* io = g_device.load();
  return io ? *io : DefaultDevice();
}

void SetVendorStorage(VendorStorageIo* io) { g_device.store(io); }

}  // namespace platform
