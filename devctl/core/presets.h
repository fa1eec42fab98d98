// The eight preset slots and the recall of a requested preset.
#pragma once

#include <atomic>

// Preset waiting to be recalled: 0 none, 1-8. Set by the recall commands; taken (and cleared in
// the same step) by the power and preset worker.
extern std::atomic<int> g_pending_preset;
