// Process-wide power state shared by the power worker, auto-standby, the service loop, the panel
// and the command handlers.
#pragma once

#include <atomic>
#include <cstdint>

// The power state the power worker last carried out (also set when the boot screen ends).
extern std::atomic<uint8_t> g_power_applied;
// Set once the stored power state has been carried out after start-up (by the boot screen's end
// or the power worker); power changes after that show the RS-232 banner again.
extern std::atomic<bool> g_power_settled;
// 1 while the unit is in deep sleep (power off with standby mode 0).
extern std::atomic<int> g_deep_sleep;
// 1: the auto-standby countdown is to be (re)started; 2: counting.
extern std::atomic<int> g_auto_standby_state;
// LCD backlight countdown in passes of the service loop: -1 idle, held at 1 in LCD mode 1 and at
// 0 in mode 0.
extern std::atomic<int> g_backlight_countdown;
