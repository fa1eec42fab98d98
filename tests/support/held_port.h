// A port that another program holds: a plain socket listening on a free port of every address,
// as a program beside devctl would listen. Closed when the object goes.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

class HeldPort {
 public:
  HeldPort() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof addr;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(fd_, 1) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
      Release();
      return;
    }
    port_ = ntohs(addr.sin_port);
  }
  ~HeldPort() { Release(); }
  HeldPort(const HeldPort&) = delete;
  HeldPort& operator=(const HeldPort&) = delete;

  // The port held, 0 when no socket could listen.
  int port() const { return port_; }
  // The other program lets the port go.
  void Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace testsupport
