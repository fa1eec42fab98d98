// Restart requests of the control ports, set by the commands that change a port's settings and
// carried out by the service loop. Several requests before a pass give one restart.
#pragma once

#include <atomic>

struct PortRestartRequests {
  std::atomic<bool> telnet{false};
  std::atomic<bool> tcp{false};
  std::atomic<bool> uart{false};
};

// Global because the commands of every front end ask and the service loop, on its own thread,
// carries them out.
extern PortRestartRequests g_port_restarts;
