// Time and sleeping for devctl's workers. Every wait of the control program goes through the
// process clock so that tests can run boot screens and standby countdowns without waiting.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic time in microseconds.
  virtual int64_t NowUs() = 0;
  virtual void SleepUs(int64_t us) = 0;
};

// The clock in use: the system's monotonic clock unless a test installed another.
Clock& clock();
// Installs a clock (nullptr restores the system clock). Not owned.
void SetClock(Clock* c);

// Asks the kernel to end the calling thread's short sleeps close to when they are due: a timer
// slack of kShortTimerSlackNs instead of the default 50 us, so the 5 us pauses between DSP
// transfers last about 5 us. Every thread that drives the buses calls it when it starts. False
// when the kernel refused.
constexpr unsigned long kShortTimerSlackNs = 1000;
bool UseShortTimerSlack();

inline int64_t NowMs() { return clock().NowUs() / 1000; }
inline void SleepMs(int64_t ms) { clock().SleepUs(ms * 1000); }

// A clock that only moves when slept on or advanced: a sleep returns at once and moves time on.
class FakeClock : public Clock {
 public:
  int64_t NowUs() override { return now_us_.load(); }
  void SleepUs(int64_t us) override;
  void Advance(int64_t us) { now_us_ += us; }
  // Total time all callers asked to sleep.
  int64_t SleptUs() const { return slept_us_.load(); }

 private:
  std::atomic<int64_t> now_us_{1000000};
  std::atomic<int64_t> slept_us_{0};
};

}  // namespace platform
