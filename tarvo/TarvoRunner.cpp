#include "tarvo/TarvoRunner.h"

#include <cerrno>
#include <cstdio>

#include "tarvo/TarvoLine.h"
#include "tarvo/TarvoTiming.h"

namespace Tarvo {

namespace {

void memory_barrier_acquire() { std::atomic_thread_fence(std::memory_order_acquire); }

}  // namespace

Runner::Runner(Buffers& buffers) : mBuffers(buffers) {}
Runner::~Runner() = default;

void Runner::setActiveChangedFn(std::function<void(bool)> fn) { mActiveChangedFn = std::move(fn); }

void Runner::setActive(bool active) {
  if (active == mActive) return;
  mActive = active;
  if (mActiveChangedFn) mActiveChangedFn(active);
}

int Runner::run(std::atomic<bool>& running, std::function<void(unsigned)> workFn,
                std::function<void()> resetFn) {
  mCalledBack = false;
  mLostEngine = false;
  mHeader = mBuffers.getHeader();
  if (mHeader == nullptr) return EINVAL;
  mTimingObjectSubheader = mBuffers.getTimingObjectSubheader();

  Timing timing;
  int err = timing.open(mTimingObjectSubheader, mBuffers.isGlobalNamespace(),
                        mBuffers.getTimingObjectNameCapacity());
  if (err != 0) {
    if (err != mLastTimingError) {
      writeLine(stderr, "Error opening timing object: " + Timing::getErrorMessage(err));
    }
    mLastTimingError = err;
    mHeader = nullptr;
    mTimingObjectSubheader = nullptr;
    return err;
  }
  mLastTimingError = 0;

  bool first = true;
  mLastResetCount = mHeader->reset_count;
  mLastPeriodCount = mHeader->period_count;
  // The last sign of life of the engine in this run: its start, a completed reconfiguration or
  // a work call.
  uint64_t lastProgress = getMonotonicValue();
  const uint64_t second = getMonotonicRate();
  // Applies the activity rule of a stalled engine at `now`; true when the run is to end
  // because the engine counts as lost.
  auto stalled = [&](uint64_t now) {
    if (now - mLastActiveMonotonic > second) setActive(false);
    if (mEndWhenLost && now - lastProgress > second) {
      mLostEngine = true;
      return true;
    }
    return false;
  };

  while (running.load() && mHeader->magic != 0) {
    if (first || mHeader->reset_count != mLastResetCount) {
      first = false;
      mLastResetCount = mHeader->reset_count;
      // The layout is stable only while reset_count is even. An engine stuck mid-reconfiguration
      // is a stalled engine: the wait keeps the activity rule, and ends on a stop request, a
      // closed area or (endWhenLost) a lost engine.
      while ((mLastResetCount & 1u) != 0) {
        if (!running.load() || mHeader->magic == 0) goto done;
        timing.wait(mWaitBoundMs);
        if (mHeader->magic == 0) goto done;
        if (stalled(getMonotonicValue())) goto done;
        mLastResetCount = mHeader->reset_count;
      }
      memory_barrier_acquire();
      if (!mBuffers.refresh()) break;
      mLastPeriodCount = mHeader->period_count;
      mCalledBack = true;
      if (resetFn) resetFn();
      memory_barrier_acquire();
      lastProgress = getMonotonicValue();
      continue;
    }

    if (mLastPeriodCount == mHeader->period_count) timing.wait(mWaitBoundMs);
    // An area closed during the wait ends the run as closed, never as a lost engine, however
    // long the wait lasted.
    if (mHeader->magic == 0) break;

    const uint64_t now = getMonotonicValue();
    const uint64_t periodCount = mHeader->period_count;
    memory_barrier_acquire();
    // The engine publishes a reconfiguration before the periods of its new layout: periods
    // counted after a change of reset_count go to the reset of the next pass (which drops
    // them), never to a work call on the old layout's pointers.
    if (mHeader->reset_count != mLastResetCount) continue;
    if (mLastPeriodCount < periodCount) {
      const uint64_t n = periodCount - mLastPeriodCount;
      mCalledBack = true;
      if (workFn) workFn(static_cast<unsigned>(n));
      mLastPeriodCount += n;
      mLastActiveMonotonic = now;
      lastProgress = now;
      setActive(true);
    } else if (stalled(now)) {
      break;
    }
  }

done:
  timing.close();
  mHeader = nullptr;
  mTimingObjectSubheader = nullptr;
  return 0;
}

}  // namespace Tarvo
