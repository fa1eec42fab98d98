// Every process-wide state of devctl back to what a fresh process has, for tests that share a
// process: each module that keeps state registers its own reset (platform/state_resets.h).
#pragma once

namespace testsupport {

void ResetProcessState();

}  // namespace testsupport
