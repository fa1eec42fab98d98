#include "platform/listen_port.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The address the control servers listen on, in network byte order.
uint32_t ControlListenAddress() {
#ifdef DEVCTL_SIM
  return htonl(INADDR_LOOPBACK);
#else
  return htonl(INADDR_ANY);
#endif
}

}  // namespace

namespace platform {

int OpenListenSocket(uint16_t port, int backlog) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  const int one = 1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = ControlListenAddress();
  addr.sin_port = htons(port);
  // SO_REUSEADDR only: a restart may listen again beside its old connections in TIME_WAIT, but
  // no other socket can listen on the port beside the server and take its connections.
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, backlog) != 0) {
    const int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

uint16_t LocalPort(int fd) {
  sockaddr_in addr{};
  socklen_t length = sizeof addr;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) return 0;
  return ntohs(addr.sin_port);
}

bool CanListenOn(int port) {
  if (port < 1 || port > 65535) return false;
  const int fd = OpenListenSocket(static_cast<uint16_t>(port), 1);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace platform
