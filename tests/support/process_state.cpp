#include "tests/support/process_state.h"

#include "platform/state_resets.h"

namespace testsupport {

void ResetProcessState() { platform::ResetAllState(); }

}  // namespace testsupport
