// The sysfs seam: the file calls devctl makes on GPIO value/direction files, the GPIO
// export/unexport files and LED class brightness files (/sys/class/gpio, /sys/class/leds).
// Paths are unit paths ("/sys/class/gpio/export"). The board uses the real files (through
// platform::Path); the simulated build uses an in-memory sysfs (SimSysfs) with export semantics
// and observers that decode the bit-banged front-panel buses.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

class SysfsIo {
 public:
  virtual ~SysfsIo() = default;
  // 0 when the file or directory exists, -1 otherwise (access(F_OK)).
  virtual int Access(const std::string& path) = 0;
  // open(2) flags (O_WRONLY, O_RDWR | O_SYNC, O_CREAT | O_TRUNC ...). A descriptor >= 3, or -1.
  virtual int Open(const std::string& path, int flags) = 0;
  // lseek(fd, offset, SEEK_SET): the new offset or -1.
  virtual long Seek(int fd, long offset) = 0;
  virtual long Read(int fd, void* buf, size_t n) = 0;
  virtual long Write(int fd, const void* buf, size_t n) = 0;
  virtual int Fsync(int fd) = 0;
  virtual int Close(int fd) = 0;
};

// The sysfs in use: the real files on the board, the process's SimSysfs in the simulated build.
SysfsIo& sysfs();
// Installs another implementation (nullptr restores the default). Not owned.
void SetSysfs(SysfsIo* io);

// Real files below platform::Root() (the board's implementation; usable in tests on a temp root).
SysfsIo& FileSysfs();

}  // namespace platform
