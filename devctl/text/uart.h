// The RS-232 control port: one thread, a line editor and the port's write lock.
#pragma once

#include <functional>
#include <string>

class CUart {
 public:
  // Constructing the port opens no device and starts no thread.
  CUart() = default;

  // Called on the port's thread with every completed command line.
  std::function<void(int fd, char* line, int len)> on_line;
  // Called on the port's thread once after each start, before the first read.
  std::function<void()> on_start;
};
