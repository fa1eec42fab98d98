// Process-wide power state shared by the power worker, auto-standby, the service loop, the panel
// and the command handlers.
#pragma once

#include <atomic>
#include <cstdint>

struct PowerState {
  // The power state the power worker last carried out; before its first pass, the stored state
  // start-up carried out.
  std::atomic<uint8_t> applied{0};
  // Set by the power worker's first pass (or the boot screen's end); power changes carried out
  // after that show the RS-232 banner again.
  std::atomic<bool> settled{false};
  // 1 while the unit is in deep sleep (power off with standby mode 0).
  std::atomic<int> deep_sleep{0};
  // 1: the auto-standby countdown is to be (re)started; 2: counting.
  std::atomic<int> auto_standby_state{1};
  // LCD backlight countdown in passes of the service loop: -1 idle, held at 1 in LCD mode 1 and
  // at 0 in mode 0.
  std::atomic<int> backlight_countdown{-1};
};

// Global because the unit has one power state, carried out by the power worker and read by
// every thread that must behave differently in standby.
extern PowerState g_power;

// Whether the power state carried out holds the audio-mute line raised: standby (off, not deep
// sleep) holds it until the next power-on; on and deep sleep leave it released. Whatever raises
// the line for a while (a preset recall) leaves it so afterwards.
bool PowerHoldsAudioMute();
