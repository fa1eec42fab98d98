#include "devctl/core/unit_state.h"

#include "devctl/core/config_lock.h"
#include "platform/state_resets.h"

UnitState g_unit;

namespace {
const platform::StateReset kReset([] {
  ConfigLock lock;
  platform::Rebuild(g_unit);
});
}  // namespace
