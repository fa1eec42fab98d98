// Putting the front panel out before a reboot.
#pragma once

#include <atomic>

// Set to 1 to end the panel thread's loop (it is never cleared again).
extern std::atomic<int> g_panel_thread_stop;

// Before a reboot request: g_panel_thread_stop := 1, LCD cleared, every LED off, backlight off
// (both LCD lines blank), sleep line GPIO 107 := 1.
void ShutdownFrontPanel();
