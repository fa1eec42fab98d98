#include "platform/state_resets.h"

#include <vector>

namespace platform {
namespace {

// Built on first use: registrations run during static initialisation, in no set order between
// files.
std::vector<StateReset::Function>& Registered() {
  static std::vector<StateReset::Function> resets;
  return resets;
}

}  // namespace

StateReset::StateReset(Function reset) { Registered().push_back(reset); }

void ResetAllState() {
  for (StateReset::Function reset : Registered()) reset();
}

}  // namespace platform
