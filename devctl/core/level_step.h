// One raise or lower of a level (an input gain, an output volume) by a number of steps, as the
// step commands ask for it: each unit moves from its own value and stops at the level's limits.
#pragma once

#include <algorithm>

struct LevelStep {
  enum Direction { kUp, kDown };
  Direction direction;
  int steps;

  // old moved by the steps, held within [lo, hi].
  int Apply(int old, int lo, int hi) const {
    return std::clamp(direction == kUp ? old + steps : old - steps, lo, hi);
  }
  // The opening of every line the step reports.
  const char* Verb() const {
    return direction == kUp ? "[SUCCESS]Increase " : "[SUCCESS]Decrease ";
  }
};
