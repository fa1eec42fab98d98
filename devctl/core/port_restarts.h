// Restart requests of the control ports, set by the commands that change a port's settings and
// carried out by the service loop, and the hold of a network server's port that a command needs
// before it may answer that the server is on there. Several requests before a pass give one
// restart.
#pragma once

#include <atomic>
#include <functional>

// The two network control servers.
enum class ControlServer { kTcp, kTelnet };

// Makes devctl listen on port for the server; true once it does (see ListenNow).
using ControlServerListener = std::function<bool(ControlServer, int port)>;

struct PortRestartRequests {
  // Set by a command under the configuration lock; a server's flag stays set until its restart
  // has set the server up again from the record (under the lock).
  std::atomic<bool> telnet{false};
  std::atomic<bool> tcp{false};
  std::atomic<bool> uart{false};
  // Set by the owner of the servers before it starts them; under the configuration lock.
  ControlServerListener listener;
  // Closes what a server holds for a start the record does not ask for (see ReleaseUnwantedPorts).
  std::function<void()> release_unwanted;
};

// Global because the commands of every front end ask and the service loop, on its own thread,
// carries them out.
extern PortRestartRequests g_port_restarts;

// Whether devctl listens on port for server once this returns: the server's own listening socket
// when it is on port (also the one a pending restart keeps), or one opened now that the server's
// next start takes; a server the record has on at port, that does not run and has no restart
// pending, is started on it at once. False when the port cannot be listened on (another program
// holds it). Call with the configuration lock held, before storing a record that has the server
// on at port. Until the servers are set up, whether the port could be listened on.
bool ListenNow(ControlServer server, int port);

// Lets go of every port held for a server's next start (by ListenNow) unless the live record has
// that server on at that port: a command refused, or whose save failed, after its check held a
// port leaves nothing held. Run by the commit path under the configuration lock once each change
// is made, so every command passes it.
void ReleaseUnwantedPorts();
