// Putting the front panel out before a reboot.
#pragma once

// True once ShutdownFrontPanel ran: the panel thread's loop ends (never cleared again).
bool PanelThreadStopRequested();

// Before a reboot request: the panel thread is asked to stop, LCD cleared, every LED off, backlight off
// (both LCD lines blank), sleep line GPIO 107 := 1.
void ShutdownFrontPanel();
