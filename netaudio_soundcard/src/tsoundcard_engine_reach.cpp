#include "netaudio_soundcard/src/tsoundcard_engine_reach.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>

namespace tsoundcard {

namespace {

constexpr unsigned kLookStepMs = 2;

}  // namespace

unsigned unreachableLookMs(const AreaState& area) {
  uint64_t ms = kMaxUnreachableLookMs;
  if (area.samplerate != 0 && area.samplesPerPeriod != 0) {
    const uint64_t samples = uint64_t{kUnreachableLookPeriods} * area.samplesPerPeriod * 1000u;
    ms = (samples + area.samplerate - 1) / area.samplerate;
  }
  return unsigned(std::clamp<uint64_t>(ms, kMinUnreachableLookMs, kMaxUnreachableLookMs));
}

void EngineReach::markUnreachable(const AreaState& at) {
  mUnreachable = true;
  mUnreachableAt = at;
}

int EngineReach::check(const std::string& name) {
  AreaState now = probeArea(name);
  if (now.gone()) return -ENODEV;
  if (!mUnreachable) return 0;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(unreachableLookMs(now));
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
