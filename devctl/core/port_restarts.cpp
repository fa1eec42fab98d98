#include "devctl/core/port_restarts.h"

#include "platform/listen_port.h"
#include "platform/state_resets.h"

PortRestartRequests g_port_restarts;

namespace {
const platform::StateReset kReset([] { platform::Rebuild(g_port_restarts); });
}  // namespace

bool ListenNow(ControlServer server, int port) {
  if (!g_port_restarts.listener) return platform::CanListenOn(port);
  return g_port_restarts.listener(server, port);
}

void ReleaseUnwantedPorts() {
  if (g_port_restarts.release_unwanted) g_port_restarts.release_unwanted();
}
