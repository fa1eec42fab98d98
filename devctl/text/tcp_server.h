// Control server of the raw TCP and telnet ports: one thread per object, the connected clients
// and their line editors.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class CTcpserver {
 public:
  // Constructing a server opens no socket and starts no thread.
  CTcpserver() = default;

  // Called on the server's thread with every completed command line.
  std::function<void(int fd, char* line, int len)> on_line;
  // Called on the server's thread with each newly accepted client, before its first line.
  std::function<void(int fd)> on_connect;
};
