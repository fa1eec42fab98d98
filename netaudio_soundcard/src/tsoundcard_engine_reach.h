// What one PCM knows of its engine across starts, workers and hw_params: a start that waited for
// the engine in vain, or was cut short by a signal, marks it unreachable until its area moves
// again; while the mark holds, prepare and start answer at once instead of waiting again.
#pragma once

#include <string>

#include "netaudio_soundcard/src/tsoundcard_area_probe.h"

namespace tsoundcard {

// How long a look at an engine marked unreachable waits for it to move: a few periods of any
// engine, and short against the human wait for an application's end.
constexpr unsigned kUnreachableLookMs = 50;

class EngineReach {
 public:
  // The engine did not reach a start; `at` is how its area looked then.
  void markUnreachable(const AreaState& at);
  bool unreachable() const { return mUnreachable; }
  // Whether a stream could start on the area `name` now: 0, or -ENODEV while the area is gone
  // (AreaState::gone) or the engine is marked unreachable and does not move within
  // kUnreachableLookMs. An engine that moved clears the mark.
  int check(const std::string& name);

 private:
  bool mUnreachable = false;
  AreaState mUnreachableAt;
};

}  // namespace tsoundcard
