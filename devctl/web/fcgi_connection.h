// One connection from the web server: its descriptor, owned and closed with the object, the bytes
// read from it and not parsed yet, since when it has been waiting for its next request and since
// when the loop has seen bytes of that request waiting.
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
  bool ready = false;  // bytes are waiting: the connection is served in the current or next turn
  bool kept = false;   // has carried a request and was kept for the next one
  std::chrono::steady_clock::time_point ready_since;
  // A request the web server aborted inside its body: its standard input records that still come
  // are dropped. 0 when none.
  int aborted_request_id = 0;
  // After the last request: its input was read to its end; answered and not kept; dropped.
  bool input_read_whole = true;
  bool ended = false;
  bool broken = false;
};

}  // namespace web
