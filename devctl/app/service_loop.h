// The service loop of "timerthread": restarts a control port whose settings a command changed,
// and runs the LCD backlight countdown with the front LEDs that follow it.
#pragma once

// Where the holds of the configuration lock go while they are timed (config_lock.h).
constexpr char kConfigLockHoldsFile[] = "/tmp/config_lock_holds.txt";

// One pass without its pause: the requested restarts, then the backlight countdown step (and the
// lock holds recorded meanwhile, when they are timed).
void ServiceLoopPass();
// The callback of "timerthread": 500 ms, a pass, for ever. Never returns.
int RunServiceLoop();
