// Every process-wide state of devctl back to what a fresh process has: the configuration records
// and identity, the notice sinks, injected storage failures, the dispatcher's questions and
// network edit, the power, panel and worker flags, the service loop's restart requests, the open
// GPIO descriptors and the expander shadow. Tests call it between cases that share a process.
#pragma once

namespace testsupport {

void ResetProcessState();

}  // namespace testsupport
