// One connection from the web server: its descriptor, owned and closed with the object, the bytes
// read from it and not parsed yet, and since when it has been waiting for its next request.
#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

namespace web {

struct FcgiConnection {
  explicit FcgiConnection(int fd);
  ~FcgiConnection();
  FcgiConnection(const FcgiConnection&) = delete;
  FcgiConnection& operator=(const FcgiConnection&) = delete;

  bool HasBufferedBytes() const { return begin < end; }

  int fd;
  std::vector<char> buffer;
  size_t begin = 0, end = 0;  // the unparsed bytes are buffer[begin, end)
  std::chrono::steady_clock::time_point idle_since;
};

}  // namespace web
