// What the reset key and the USB-select button do.
#pragma once

#include "devctl/devices/key_scanner.h"

// Toggles the selected USB port (unless keys are locked), saves and tells the TCP and telnet
// clients. The USB worker switches the port.
void HandleUsbSelectButton();
// Held 2 s: blink. Held 4 s: reset everything and reboot. Released: stop blinking.
void HandleResetKey(reset_key_long state);
