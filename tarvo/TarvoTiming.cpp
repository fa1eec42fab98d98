#include "tarvo/TarvoTiming.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <semaphore.h>
#include <unistd.h>

#include "tarvo/TarvoSharedMemory.h"

namespace Tarvo {

struct Timing::Impl {
  uint32_t mType = 0;
  sem_t* mSem = nullptr;

  ~Impl() { close(); }

  int open(const volatile timing_object_subheader* sub, size_t nameCapacity) {
    mType = sub != nullptr ? sub->object_type : 0;
    if (mType != kTimingObjectSemaphore) return 0;
    std::string name;
    for (size_t i = 0; i < nameCapacity; ++i) {
      char c = sub->object_name[i];
      if (c == '\0') break;
      name.push_back(c);
    }
    sem_t* sem = sem_open(name.c_str(), 0);
    if (sem == SEM_FAILED) return errno;
    mSem = sem;
    return 0;
  }

  int wait(unsigned boundMs) {
    if (mType != kTimingObjectSemaphore || mSem == nullptr) {
      sleepMs(1);
      return 0;
    }
    struct timespec deadline;
    if (clock_gettime(CLOCK_REALTIME, &deadline) != 0) return errno;
    const uint64_t ns = uint64_t(deadline.tv_nsec) + uint64_t(boundMs) * 1000000u;
    deadline.tv_sec += time_t(ns / 1000000000u);
    deadline.tv_nsec = long(ns % 1000000000u);
    if (sem_timedwait(mSem, &deadline) == 0) return 0;
    return errno;
  }

  void close() {
    if (mSem != nullptr) {
      sem_close(mSem);
      mSem = nullptr;
    }
  }
};

Timing::Timing() : mImpl(new Impl) {}
Timing::~Timing() = default;

int Timing::open(const volatile timing_object_subheader* sub, bool /*globalNamespace*/,
                 size_t nameCapacity) {
  return mImpl->open(sub, nameCapacity);
}

int Timing::wait(unsigned boundMs) { return mImpl->wait(boundMs); }
void Timing::close() { mImpl->close(); }
std::string Timing::getErrorMessage(int n) { return errorText(n); }

uint64_t getMonotonicValue() {
  struct timespec ts = {0, 0};
  clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
  return uint64_t(ts.tv_sec) * 1000000000ULL + uint64_t(ts.tv_nsec);
}

uint64_t getMonotonicRate() { return 1000000000ULL; }

void sleepMs(unsigned ms) { usleep(ms * 1000u); }

}  // namespace Tarvo
