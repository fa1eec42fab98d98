// What the reset key and the USB-select button do.
#pragma once

#include <atomic>

#include "devctl/devices/key_scanner.h"

// 0 idle; 1 the reset key is held past 2 s (the USB indicators blink, port changes wait);
// 2 a reset of everything is under way.
extern std::atomic<int> g_reset_key_blink;

// Toggles the selected USB port (unless keys are locked), saves and tells the TCP and telnet
// clients. The USB worker switches the port.
void HandleUsbSelectButton();
// Held 2 s: blink. Held 4 s: reset everything and reboot. Released: stop blinking.
void HandleResetKey(reset_key_long state);
