#include "devctl/hardware/power_state.h"

#include "platform/state_resets.h"

PowerState g_power;

bool PowerHoldsAudioMute() { return g_power.applied == 0 && g_power.deep_sleep == 0; }

namespace {
const platform::StateReset kReset([] { platform::Rebuild(g_power); });
}  // namespace
