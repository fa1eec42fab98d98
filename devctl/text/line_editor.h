// The line editor of the network control ports: echo, backspace, cursor left/right, delete at
// the cursor, and recall of the shared command history. Completed lines go into the history and
// to the on-line callback.
#pragma once

#include <cstdint>
#include <functional>

#include "devctl/text/tcp_session.h"

struct EditIo {
  // Bytes to send back to this client (echo and redraws).
  std::function<void(const char* data, size_t len)> write;
  // A completed line: len bytes including the final CR, not NUL-terminated, writable. An empty
  // line arrives as "\r\n" (len 2).
  std::function<void(int fd, char* line, int len)> on_line;
};

// Handles one received chunk of a client. In telnet mode the chunk first passes the telnet
// filter (in place, so data must be writable). Chunks of any length are accepted.
void EditChunk(tcp_session_s& s, bool telnet_mode, char* data, int len, const EditIo& io);

// Appends *len bytes of data to the accumulation and returns the length (CR included) of the
// first complete line in it, or 0. Non-printable bytes before a line's first printable one are
// dropped. When the accumulation would pass its size, everything pending is discarded.
uint32_t SplitLine(const char* data, uint32_t* len, char* acc, uint32_t* acc_len);
