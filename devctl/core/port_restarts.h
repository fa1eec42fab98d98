// Restart requests of the control ports, set by the commands that change a port's settings and
// carried out by the service loop, and the start of a control server that should listen and does
// not. Several requests before a pass give one restart.
#pragma once

#include <atomic>
#include <functional>

// The two network control servers.
enum class ControlServer { kTcp, kTelnet };

// Starts the server from the live record when it is not listening; true once it listens.
using ControlServerStarter = std::function<bool(ControlServer)>;

struct PortRestartRequests {
  // Set by a command under the configuration lock; a server's flag stays set until its restart
  // has set the server up again from the record (under the lock), so while it is set the old
  // listening socket may still hold the port.
  std::atomic<bool> telnet{false};
  std::atomic<bool> tcp{false};
  std::atomic<bool> uart{false};
  // Set by the owner of the servers before it starts them; under the configuration lock.
  ControlServerStarter starter;
};

// Global because the commands of every front end ask and the service loop, on its own thread,
// carries them out.
extern PortRestartRequests g_port_restarts;

// Whether server listens, starting it first when it does not (its start failed: another program
// held the port then). Call with the configuration lock held, for a server the record has on and
// no restart is pending for. True while no starter is set (the servers were never started).
bool ListenNow(ControlServer server);
