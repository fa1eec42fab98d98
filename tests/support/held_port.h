// A port that another program holds: a socket listening on a port of every address, as a server
// beside devctl would listen (SO_REUSEADDR, so connections of devctl's in TIME_WAIT do not keep it
// out). Closed when the object goes.
#pragma once

#include <netinet/in.h>
#include <stdint.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

class HeldPort {
 public:
  // port 0: any free port; otherwise that port, when nothing listens there.
  explicit HeldPort(int port = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t length = sizeof addr;
    const int one = 1;
    if (fd_ < 0 || setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd_, 1) != 0 ||
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
