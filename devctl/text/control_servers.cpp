#include "devctl/text/control_servers.h"

#include "platform/state_resets.h"

ControlServers g_control_servers;

namespace {
// Rebuilding stops each server first (its destructor does) and forgets its callbacks.
const platform::StateReset kReset([] { platform::Rebuild(g_control_servers); });
}  // namespace
