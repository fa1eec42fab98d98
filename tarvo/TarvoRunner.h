// The period loop: paces a client by the engine's network periods.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "tarvo/TarvoBuffers.h"
#include "tarvo/TarvoTiming.h"

namespace Tarvo {

static_assert(std::atomic<bool>::is_always_lock_free,
              "the running flag is cleared from signal handlers");

class Runner {
 public:
  explicit Runner(Buffers& buffers);
  ~Runner();
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // Called with the new state on every change of activity (periods arriving or not).
  void setActiveChangedFn(std::function<void(bool)> fn);
  bool isActive() const { return mActive; }
  // Stores the state; calls the activity callback only when it changes.
  void setActive(bool active);

  // Runs until `running` is cleared or the engine closes the area (magic 0). Calls resetFn on
  // the first pass and after every reconfiguration (reset_count changed, once it is even again;
  // periods that passed meanwhile are dropped), and workFn(n) with the number of periods that
  // elapsed since the last call (several at once when the client fell behind); the caller
  // multiplies by samples_per_period. Periods counted after reset_count changed never reach
  // workFn: the reset comes first and drops them. Before each resetFn the buffer set's channel
  // tables are re-read; a layout that does not fit the mapping ends the loop so the caller
  // reconnects.
  // While reset_count stays odd the loop keeps to the activity rule of a stalled engine (more
  // than a second without a work call: inactive) and ends on a stop request or a closed area.
  // magic 0 seen after a wait ends the run as a closed area, also with endWhenLost set.
  // Returns EINVAL when the buffer set is not connected, the timing object's open error (after
  // writing "Error opening timing object: <text>" to stderr, once per distinct error), else 0.
  // Empty callbacks are skipped. Activity survives from one run to the next.
  int run(std::atomic<bool>& running, std::function<void(unsigned)> workFn,
          std::function<void()> resetFn);

  // True when the last run called resetFn or workFn at least once.
  bool calledBackInLastRun() const { return mCalledBack; }

  // With endWhenLost set, run also ends when the engine made no progress (no work call and no
  // completed reconfiguration) for more than a second since the run began: an engine that died
  // without clearing magic, or one stuck mid-reconfiguration. Off by default.
  void setEndWhenLost(bool endWhenLost) { mEndWhenLost = endWhenLost; }
  // True when the last run ended for that reason.
  bool lostEngineInLastRun() const { return mLostEngine; }
  // Bound of each wait for a period (kPeriodWaitMs by default): how late run notices a cleared
  // running flag while the engine is silent.
  void setWaitBoundMs(unsigned ms) { mWaitBoundMs = ms; }

  // The period count the next workFn call counts from. Inside resetFn it is the count the
  // reset must start its ring positions at: the header may already have moved on, and a
  // second read of it would put the client a period ahead of the periods it is given.
  uint64_t lastPeriodCount() const { return mLastPeriodCount; }

 private:
  Buffers& mBuffers;
  const volatile buffer_header* mHeader = nullptr;
  const volatile timing_object_subheader* mTimingObjectSubheader = nullptr;
  uint32_t mLastResetCount = 0;
  uint64_t mLastPeriodCount = 0;
  uint64_t mLastActiveMonotonic = 0;
  bool mActive = false;
  std::function<void(bool)> mActiveChangedFn;
  int mLastTimingError = 0;
  bool mCalledBack = false;
  bool mEndWhenLost = false;
  bool mLostEngine = false;
  unsigned mWaitBoundMs = kPeriodWaitMs;
};

}  // namespace Tarvo
