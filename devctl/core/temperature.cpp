#include "devctl/core/temperature.h"

#include <fcntl.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/sysfs.h"

namespace {

constexpr const char* kSensorFile = "/sys/bus/iio/devices/iio:device1/in_voltage0_raw";

// Lowest raw value of each row; row k reads k - 10 degrees. A row's limit is the lowest value of
// the row before (99999 for row 0): a higher raw value means a cooler board.
constexpr int kRowLowest[91] = {
    842, 835, 827, 819, 811, 803, 794, 786, 777, 768, 759, 750, 741, 732, 722, 713, 703, 693, 684,
    674, 663, 653, 644, 633, 623, 613, 603, 593, 582, 572, 562, 552, 542, 532, 522, 512, 502, 490,
    483, 473, 464, 454, 445, 435, 426, 417, 408, 400, 391, 383, 374, 366, 358, 350, 342, 334, 327,
    319, 312, 305, 298, 291, 284, 278, 271, 265, 258, 253, 247, 241, 235, 230, 224, 219, 214, 209,
    204, 199, 194, 190, 185, 181, 177, 172, 168, 164, 160, 157, 153, 150, 0};
constexpr int kFirstRowLimit = 99999;

}  // namespace

int TemperatureFromRaw(long raw) {
  long limit = kFirstRowLimit;
  for (int k = 0; k < 91; ++k) {
    if (raw >= kRowLowest[k] && raw < limit) return k - 10;
    limit = kRowLowest[k];
  }
  return 0;
}

namespace {

// The sensor file's text (at most 63 bytes), empty when it cannot be read.
std::string ReadSensorText() {
  platform::SysfsIo& io = platform::sysfs();
  int fd = io.Open(kSensorFile, O_RDONLY);
  if (fd < 0) return "";
  char buffer[64] = {};
  long n = io.Read(fd, buffer, sizeof buffer - 1);
  io.Close(fd);
  return n > 0 ? std::string(buffer, size_t(n)) : "";
}

}  // namespace

int ReadTemperature() {
  std::istringstream in(ReadSensorText());
  std::string word;
  if (!(in >> word)) {
    std::printf("temperature sensor: no reading\n");
    return 0;
  }
  // The leading decimal integer of the word; a missing sensor must not read as raw 0 (80 C).
  size_t digits_at = (word[0] == '-' || word[0] == '+') ? 1 : 0;
  if (digits_at >= word.size() || !std::isdigit(static_cast<unsigned char>(word[digits_at]))) {
    std::printf("temperature sensor: no reading\n");
    return 0;
  }
  long raw = std::strtol(word.substr(0, 12).c_str(), nullptr, 10);
  return TemperatureFromRaw(raw);
}
