// Auto-standby: the unit powers down after the configured time without signal on any DSP meter
// and up again when a signal returns. The power and preset worker carries out the change.
#pragma once

#include <cstdint>

// The countdown (ticks of 500 ms) and whether this thread put the unit into standby.
class AutoStandby {
 public:
  // One tick, acting on the last signal detection.
  void Pass(bool signal);
  uint32_t ticks() const { return ticks_; }
  bool entered() const { return entered_; }

 private:
  uint32_t ticks_ = 0;
  bool entered_ = false;
};

// The auto-standby thread: signal detection, a pass, 500 ms, for ever.
void RunAutoStandbyThread();
void StartAutoStandbyThread();
