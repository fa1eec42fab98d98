// What one PCM knows of its engine across starts, workers and hw_params: a start that waited its
// whole bound for the engine in vain marks it unreachable until its area moves again; while the
// mark holds, prepare and start look at the engine for a few of its periods instead of waiting a
// start's bound again. A start cut short by a signal says nothing about the engine and marks
// nothing.
#pragma once

#include <string>

#include "netaudio_soundcard/src/tsoundcard_area_probe.h"

namespace tsoundcard {

// How many of the engine's own periods a look at an engine marked unreachable waits for it to
// move, and the bounds of that look: at least kMinUnreachableLookMs (a busy machine), at most
// kMaxUnreachableLookMs (an engine whose area shows no usable period).
constexpr unsigned kUnreachableLookPeriods = 4;
constexpr unsigned kMinUnreachableLookMs = 50;
constexpr unsigned kMaxUnreachableLookMs = 1000;

// How long to look at `area` for a sign of life: kUnreachableLookPeriods of its periods, within
// the bounds above.
unsigned unreachableLookMs(const AreaState& area);

class EngineReach {
 public:
  // The engine did not reach a start within its bound; `at` is how its area looked then.
  void markUnreachable(const AreaState& at);
  bool unreachable() const { return mUnreachable; }
  // Whether a stream could start on the area `name` now: 0, or -ENODEV while the area is gone
  // (AreaState::gone) or the engine is marked unreachable and does not move within
  // unreachableLookMs. An engine that moved clears the mark.
  int check(const std::string& name);

 private:
  bool mUnreachable = false;
  AreaState mUnreachableAt;
};

}  // namespace tsoundcard
