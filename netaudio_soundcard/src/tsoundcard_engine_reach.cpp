#include "netaudio_soundcard/src/tsoundcard_engine_reach.h"

#include <cerrno>
#include <chrono>
#include <thread>

namespace tsoundcard {

namespace {

constexpr unsigned kLookStepMs = 2;

}  // namespace

void EngineReach::markUnreachable(const AreaState& at) {
  mUnreachable = true;
  mUnreachableAt = at;
}

int EngineReach::check(const std::string& name) {
  AreaState now = probeArea(name);
  if (now.gone()) return -ENODEV;
  if (!mUnreachable) return 0;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kUnreachableLookMs);
  while (!now.movedSince(mUnreachableAt)) {
    if (std::chrono::steady_clock::now() >= deadline) return -ENODEV;
    std::this_thread::sleep_for(std::chrono::milliseconds(kLookStepMs));
    now = probeArea(name);
    if (now.gone()) return -ENODEV;
  }
  mUnreachable = false;
  return 0;
}

}  // namespace tsoundcard
