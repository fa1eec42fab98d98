// The service loop of "timerthread": restarts a control port whose settings a command changed,
// and runs the LCD backlight countdown with the front LEDs that follow it.
#pragma once

// One pass without its pause: the requested restarts, then the backlight countdown step.
void ServiceLoopPass();
// The callback of "timerthread": 500 ms, a pass, for ever. Never returns.
int RunServiceLoop();
