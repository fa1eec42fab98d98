// Process-wide state put back as at start-up, for test processes that run many cases in one
// process. A running unit never resets anything.
//
// Every module that keeps state for the life of the process owns it and registers how to put it
// back, once, in the file that defines it:
//
//   const platform::StateReset kReset([] { platform::Rebuild(g_panel); });
//
// ResetAllState runs every registration of the modules linked into the program, so a new piece of
// state is reset by the line that declares it and no list elsewhere can forget it.
#pragma once

#include <new>

namespace platform {

class StateReset {
 public:
  using Function = void (*)();
  // reset runs on the thread that calls ResetAllState.
  explicit StateReset(Function reset);
  StateReset(const StateReset&) = delete;
  StateReset& operator=(const StateReset&) = delete;
};

// Runs the resets in the order the modules registered them. Only while no thread of the unit
// under test runs.
void ResetAllState();

// Destroys state and constructs it again in place: every member back to its initialiser, whatever
// members are added later. The object's mutexes must be free.
template <typename State>
void Rebuild(State& state) {
  state.~State();
  new (&state) State();
}

}  // namespace platform
