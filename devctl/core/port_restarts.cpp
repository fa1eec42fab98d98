#include "devctl/core/port_restarts.h"

#include "platform/state_resets.h"

PortRestartRequests g_port_restarts;

namespace {
const platform::StateReset kReset([] { platform::Rebuild(g_port_restarts); });
}  // namespace

bool ListenNow(ControlServer server) {
  return !g_port_restarts.starter || g_port_restarts.starter(server);
}
