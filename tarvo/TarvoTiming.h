// The engine's period timing object and the library's clocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "tarvo/TarvoHeader.h"

namespace Tarvo {

// Bound of one wait for a period.
constexpr unsigned kPeriodWaitMs = 1000;

// Waits for the engine's periods: on its named semaphore (object_type 1) or, without one, by
// polling every millisecond.
class Timing {
 public:
  Timing();
  ~Timing();
  Timing(const Timing&) = delete;
  Timing& operator=(const Timing&) = delete;

  // Opens the timing object the subheader names (nullptr = none). Type 1 opens the existing
  // semaphore object_name (never creates one) and returns sem_open's errno on failure; other
  // types open nothing and return 0. The name is read up to nameCapacity bytes (the bytes of
  // the mapping after the fixed part). globalNamespace has no effect.
  int open(const volatile timing_object_subheader* sub, bool globalNamespace,
           size_t nameCapacity = 256);
  // Waits for the next period: sem_timedwait with a deadline boundMs (one second by default)
  // ahead on CLOCK_REALTIME (0, ETIMEDOUT or EINTR); without a semaphore sleeps 1 ms and
  // returns 0.
  int wait(unsigned boundMs = kPeriodWaitMs);
  // Closes the semaphore if one is open; harmless when repeated.
  void close();

  // The system's text for error n ("" for 0); writes nothing.
  static std::string getErrorMessage(int n);

  struct Impl;

 private:
  std::unique_ptr<Impl> mImpl;
};

// CLOCK_MONOTONIC_RAW in nanoseconds.
uint64_t getMonotonicValue();
// Counts per second of getMonotonicValue: 1,000,000,000.
uint64_t getMonotonicRate();
// Sleeps ms milliseconds (a signal cuts it short).
void sleepMs(unsigned ms);

}  // namespace Tarvo
