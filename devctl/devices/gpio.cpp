#include "devctl/devices/gpio.h"

#include <fcntl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/state_resets.h"
#include "platform/sysfs.h"

namespace {

// Descriptor of each line's value file; below 2 = not open.
std::atomic<int> g_gpio_fd[kGpioCount];
// Serialises opening, so two threads opening one line keep one descriptor.
std::mutex g_gpio_open_mutex;

bool InRange(int gpio) {
  if (gpio >= 0 && gpio < kGpioCount) return true;
  std::printf("gpio %d out of range\n", gpio);
  std::fflush(stdout);
  return false;
}

void Print(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

std::string LinePath(int gpio, const char* file) {
  return "/sys/class/gpio/gpio" + std::to_string(gpio) + file;
}

// Writes text to a sysfs control file: open write-only, write, fsync, close.
bool WriteControl(const std::string& path, const char* text, size_t n) {
  platform::SysfsIo& io = platform::sysfs();
  int fd = io.Open(path, O_WRONLY);
  if (fd < 0) return false;
  io.Write(fd, text, n);
  io.Fsync(fd);
  io.Close(fd);
  return true;
}

}  // namespace

int GpioExport(int gpio) {
  if (!InRange(gpio)) return -1;
  std::string text = std::to_string(gpio);
  if (!WriteControl("/sys/class/gpio/export", text.c_str(), text.size())) {
    Print("fail to open device!");
    return -1;
  }
  return 0;
}

int GpioUnexport(int gpio) {
  if (!InRange(gpio)) return -1;
  std::string text = std::to_string(gpio);
  if (!WriteControl("/sys/class/gpio/unexport", text.c_str(), text.size())) {
    Print("has no this gpio!");
    return -1;
  }
  return 0;
}

int GpioExists(int gpio) { return platform::sysfs().Access(LinePath(gpio, "")); }

int GpioSetDirection(int gpio, const char* dir) {
  if (!InRange(gpio) || dir == nullptr) return -1;
  if (!WriteControl(LinePath(gpio, "/direction"), dir, std::strlen(dir))) {
    Print("fail to device!");
    return -1;
  }
  return 0;
}

void GpioSetOut(int gpio) {
  if (GpioExists(gpio) != 0) GpioExport(gpio);
  GpioSetDirection(gpio, "out");
}

void GpioSetIn(int gpio) {
  if (GpioExists(gpio) != 0) GpioExport(gpio);
  GpioSetDirection(gpio, "in");
}

int GpioOpen(int gpio) {
  if (!InRange(gpio)) return -1;
  std::lock_guard<std::mutex> lock(g_gpio_open_mutex);
  if (GpioExists(gpio) != 0) GpioExport(gpio);
  if (g_gpio_fd[gpio].load() >= 2) return 0;
  int fd = platform::sysfs().Open(LinePath(gpio, "/value"), O_RDWR | O_SYNC);
  if (fd < 2) {
    if (fd >= 0) platform::sysfs().Close(fd);
    g_gpio_fd[gpio].store(-1);
    std::printf("open gpio%d failed\n", gpio);
    std::fflush(stdout);
    return -1;
  }
  g_gpio_fd[gpio].store(fd);
  return 0;
}

int GpioRead(int gpio) {
  if (!InRange(gpio)) return 255;
  int fd = g_gpio_fd[gpio].load();
  if (fd < 2) {
    std::printf("gpio %d not open\n", gpio);
    std::fflush(stdout);
    return 255;
  }
  platform::SysfsIo& io = platform::sysfs();
  char buf[13] = {};
  io.Seek(fd, 0);
  if (io.Read(fd, buf, 12) <= 0) return 255;
  return std::atoi(buf) & 0xFF;
}

void GpioWrite(int gpio, uint8_t value) {
  if (!InRange(gpio)) return;
  int fd = g_gpio_fd[gpio].load();
  if (fd < 2) {
    std::printf("gpio %d not open\n", gpio);
    std::fflush(stdout);
    return;
  }
  platform::SysfsIo& io = platform::sysfs();
  char buf[4] = {};
  std::snprintf(buf, sizeof buf, "%u", unsigned(value));
  io.Seek(fd, 0);
  io.Write(fd, buf, sizeof buf);
  io.Fsync(fd);
}

namespace {
const platform::StateReset kReset(GpioCloseAll);
}  // namespace

void GpioCloseAll() {
  std::lock_guard<std::mutex> lock(g_gpio_open_mutex);
  for (auto& entry : g_gpio_fd) {
    int fd = entry.exchange(0);
    if (fd >= 2) platform::sysfs().Close(fd);
  }
}

void WriteSysfsInt(const char* path, int value) {
  if (path == nullptr) return;
  char text[16];
  int n = std::snprintf(text, sizeof text, "%d", value);
  platform::SysfsIo& io = platform::sysfs();
  int fd = io.Open(path, O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) return;
  io.Write(fd, text, size_t(n));
  io.Close(fd);
}
