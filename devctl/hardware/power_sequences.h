// The power sequences of the board, each written once. Several exist in two or three forms that
// the unit really runs with different steps or timings; each form is named for where it runs.
#pragma once

// Where a deep-sleep entry runs. Common to all: the deep-sleep flag, the flag file that takes the
// secondary interface down, 600 ms, the sleep line raised and the 3.3 V rail cut.
enum class DeepSleepEntry {
  // Start-up with sleep stored: audio muted, 100 ms, the sleep line raised before the flag file,
  // 600 ms, rail off, audio released.
  kStoredAtStartup,
  // The power worker switching the unit off: audio muted, flag file, 600 ms, sleep line, rail
  // off, audio released.
  kWorkerPowerOff,
  // The end of the boot screen with sleep stored: flag file, 600 ms, sleep line, rail off; the
  // audio-mute line is not touched.
  kRailsAfterBootScreen,
};
void EnterDeepSleep(DeepSleepEntry entry);

// The reset pulse of the two I/O expanders.
enum class ExpanderPulse {
  kStartup,         // both reset lines low, 300 ms, high, 200 ms, enable line, 200 ms
  kAfterDeepSleep,  // enable line off, reset lines low, 100 ms, high, 100 ms, enable, 100 ms
};
void PulseExpanderReset(ExpanderPulse pulse);

// The stored power state applied to the hardware at start-up: on (DSP boot, configuration,
// panel, audio released), sleep (all DSP channels muted, then the deep-sleep entry) or standby
// (all muted, DSPs booted and configured, audio-mute line held). The state read is what the power
// worker compares the stored one with from then on.
void ApplyStoredPowerState();
