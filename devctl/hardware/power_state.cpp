#include "devctl/hardware/power_state.h"

#include "platform/state_resets.h"

PowerState g_power;

namespace {
const platform::StateReset kReset([] { platform::Rebuild(g_power); });
}  // namespace
