#include "platform/clock.h"

#include <sys/prctl.h>
#include <time.h>

#include <cerrno>
#include <thread>

namespace platform {
namespace {

class SystemClock : public Clock {
 public:
  int64_t NowUs() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
  }
  void SleepUs(int64_t us) override {
    if (us <= 0) return;
    timespec ts{time_t(us / 1000000), long((us % 1000000) * 1000)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  }
};

SystemClock g_system_clock;
std::atomic<Clock*> g_clock{&g_system_clock};

}  // namespace

bool UseShortTimerSlack() { return prctl(PR_SET_TIMERSLACK, kShortTimerSlackNs, 0, 0, 0) == 0; }

Clock& clock() { return *g_clock.load(); }

void SetClock(Clock* c) { g_clock.store(c ? c : &g_system_clock); }

// No yield here: on a busy machine a yield hands the processor to other programs for a whole time
// slice, and code that sleeps often (display timing, bus pauses) then crawls. The scheduler
// preempts a caller that loops on fake sleeps like any other busy thread.
void FakeClock::SleepUs(int64_t us) {
  if (us > 0) {
    now_us_ += us;
    slept_us_ += us;
  }
}

}  // namespace platform
