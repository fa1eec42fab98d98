#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "platform/i2c.h"
#include "platform/paths.h"
#include "platform/sim_i2c.h"

namespace platform {
namespace {

class KernelPort : public I2cPort {
 public:
  int Open(const std::string& device) override {
    return ::open(Path(device).c_str(), O_RDWR | O_CLOEXEC);
  }
  int SetAddress(int handle, unsigned addr7) override {
    return ioctl(handle, I2C_SLAVE_FORCE, static_cast<unsigned long>(addr7)) < 0 ? -1 : 0;
  }
  long Write(int handle, const uint8_t* data, size_t n) override {
    ssize_t r;
    do {
      r = ::write(handle, data, n);
    } while (r < 0 && errno == EINTR);
    return static_cast<long>(r);
  }
  int Transfer(int handle, I2cMessage* msgs, unsigned count) override {
    std::vector<i2c_msg> kmsgs(count);
    for (unsigned i = 0; i < count; ++i) {
      kmsgs[i].addr = msgs[i].addr;
      kmsgs[i].flags = (msgs[i].flags & kI2cMessageRead) ? I2C_M_RD : 0;
      kmsgs[i].len = msgs[i].len;
      kmsgs[i].buf = msgs[i].buf;
    }
    i2c_rdwr_ioctl_data data{kmsgs.data(), count};
    return ioctl(handle, I2C_RDWR, &data);
  }
  void Close(int handle) override { ::close(handle); }
};

I2cPort* DefaultPort() {
#ifdef DEVCTL_SIM
  return &sim_i2c();
#else
  return &KernelI2cPort();
#endif
}

std::atomic<I2cPort*> g_port{nullptr};

}  // namespace

I2cPort& KernelI2cPort() {
  static KernelPort port;
  return port;
}

I2cPort& i2c() {
  I2cPort* p = g_port.load();
  return p ? *p : *DefaultPort();
}

void SetI2cPort(I2cPort* port) { g_port.store(port); }

}  // namespace platform
