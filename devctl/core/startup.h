// devctl's start-up: every service brought up in one fixed order, then the stored power state.
#pragma once

class CApplication;
class CKey;
class CTimer;

struct StartupOptions {
  // False: the steps that start threads are left out (tests drive the rest on a simulated
  // board with a fake clock).
  bool start_threads = true;
};

// Steps 1-19 of the start-up; main then only sleeps. app, keys and timer are main's own objects.
void DevctlStartup(CApplication& app, CKey& keys, CTimer& timer,
                   const StartupOptions& options = {});

// Both expander reset lines low, 300 ms, high, 200 ms, then the enable line, 200 ms.
void ResetIoExpanders();
// The stored power state applied to the hardware: on (DSP boot, configuration, panel, audio
// released), sleep (all DSP channels muted, sleep line, rail off) or standby (all muted, DSPs
// booted and configured, audio-mute line held).
void ApplyStoredPowerState();
