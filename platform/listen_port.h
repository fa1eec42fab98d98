// The listening sockets of the control servers, and the check that a port can take one.
#pragma once

#include <cstdint>

namespace platform {

// A non-blocking TCP socket listening at port, with SO_REUSEADDR as the control servers use it
// (and no SO_REUSEPORT: a port that any socket listens on is taken). The board listens on every
// address; the simulated build on loopback only, so that the network a developer's machine is on
// cannot reach the simulated unit's control ports. The descriptor, or -1 with errno set.
int OpenListenSocket(uint16_t port, int backlog);

// The local port a socket is bound to; 0 when it cannot be read.
uint16_t LocalPort(int fd);

// True when a control server could listen on port now: a socket is opened there as the server
// would open it and closed again. False when another socket listens there (whatever its options)
// or the port is outside 1..65535.
bool CanListenOn(int port);

}  // namespace platform
