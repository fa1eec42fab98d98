#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/paths.h"
#include "platform/sim_sysfs.h"
#include "platform/sysfs.h"

namespace platform {
namespace {

class FilePort : public SysfsIo {
 public:
  int Access(const std::string& path) override {
    return ::access(Path(path).c_str(), F_OK) == 0 ? 0 : -1;
  }
  int Open(const std::string& path, int flags) override {
    return ::open(Path(path).c_str(), flags | O_CLOEXEC, 0644);
  }
  long Seek(int fd, long offset) override { return ::lseek(fd, offset, SEEK_SET); }
  long Read(int fd, void* buf, size_t n) override {
    ssize_t r;
    do {
      r = ::read(fd, buf, n);
    } while (r < 0 && errno == EINTR);
    return r;
  }
  long Write(int fd, const void* buf, size_t n) override {
    ssize_t r;
    do {
      r = ::write(fd, buf, n);
    } while (r < 0 && errno == EINTR);
    return r;
  }
  int Fsync(int fd) override { return ::fsync(fd); }
  int Close(int fd) override { return ::close(fd); }
};

SysfsIo* DefaultSysfs() {
#ifdef DEVCTL_SIM
  return &sim_sysfs();
#else
  return &FileSysfs();
#endif
}

std::atomic<SysfsIo*> g_sysfs{nullptr};

}  // namespace

SysfsIo& FileSysfs() {
  static FilePort port;
  return port;
}

SysfsIo& sysfs() {
  SysfsIo* p = g_sysfs.load();
  return p ? *p : *DefaultSysfs();
}

void SetSysfs(SysfsIo* io) { g_sysfs.store(io); }

}  // namespace platform
