// A quick look at the engine's area from the application's thread: whether a stream could run
// on it now, and where its counters stand. prepare uses it to tell an engine that went away
// from one that is merely slow.
#pragma once

#include <cstdint>
#include <string>

namespace tsoundcard {

struct AreaState {
  bool present = false;       // the area could be mapped
  bool open = false;          // magic is non-zero
  bool stable = false;        // reset_count is even: the layout fields hold
  bool carriesAudio = false;  // (stable only) rate, period and rings can move audio
  uint64_t periodCount = 0;
  uint32_t resetCount = 0;
  uint32_t samplesPerPeriod = 0;  // (stable only) the engine's period and rate
  uint32_t samplerate = 0;

  // Missing, closed, or settled on a layout that cannot move a frame.
  bool gone() const { return !present || !open || (stable && !carriesAudio); }
  // True when the engine made progress between `earlier` and this look, and is not stuck
  // mid-reconfiguration now: its period or reset count moved, or the area appeared or opened.
  bool movedSince(const AreaState& earlier) const {
    if (!present || !open || !stable) return false;
    if (!earlier.present || !earlier.open) return true;
    return periodCount != earlier.periodCount || resetCount != earlier.resetCount;
  }
};

// Maps the area `name` for the time of one look and reads it. Never blocks.
AreaState probeArea(const std::string& name);

}  // namespace tsoundcard
