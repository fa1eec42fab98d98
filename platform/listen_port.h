// The listening sockets of the control servers, and the check that a port can take one.
#pragma once

#include <cstdint>

namespace platform {

// A non-blocking TCP socket listening on every address at port, with SO_REUSEADDR as the control
// servers use it (and no SO_REUSEPORT: a port that any socket listens on is taken). The
// descriptor, or -1 with errno set.
int OpenListenSocket(uint16_t port, int backlog);

// True when a control server could listen on port now: a socket is opened there as the server
// would open it and closed again. False when another socket listens there (whatever its options)
// or the port is outside 1..65535.
bool CanListenOn(int port);

}  // namespace platform
