#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <thread>

#include "tarvo/TarvoTiming.h"
#include "test_names.h"
#include "tests/support/wait_for.h"

namespace {

using tarvo_test::uniqueAreaName;

// A subheader in ordinary memory, as the engine lays it out.
struct SubheaderBytes {
  alignas(4) uint8_t bytes[64] = {};
  SubheaderBytes(uint32_t type, const std::string& name) {
    memcpy(bytes + 4, &type, 4);
    memcpy(bytes + 8, name.c_str(), name.size() + 1);
  }
  const Tarvo::timing_object_subheader* get() const {
    return reinterpret_cast<const Tarvo::timing_object_subheader*>(bytes);
  }
};

// A named semaphore owned by the test (the engine's role).
struct EngineSemaphore {
  std::string name = uniqueAreaName() + "_period";
  sem_t* sem = sem_open(name.c_str(), O_CREAT | O_EXCL, 0666, 0);
  ~EngineSemaphore() {
    sem_close(sem);
    sem_unlink(name.c_str());
  }
};

TEST(Timing, WithoutSemaphorePollsEveryMillisecond) {
  SubheaderBytes type0(0, "ignored"), type2(2, "ignored");
  const Tarvo::timing_object_subheader* subs[] = {nullptr, type0.get(), type2.get()};
  for (const auto* sub : subs) {
    Tarvo::Timing timing;
    EXPECT_EQ(timing.open(sub, false), 0);
    EXPECT_EQ(timing.wait(), 0);
    timing.close();
  }
}

TEST(Timing, OpenReportsTheErrorOfSemOpen) {
  struct Case {
    std::string name;
    int expected;
  } cases[] = {{uniqueAreaName() + "_none", ENOENT}, {"", EINVAL}};
  for (const Case& c : cases) {
    SubheaderBytes sub(1, c.name);
    Tarvo::Timing timing;
    EXPECT_EQ(timing.open(sub.get(), false), c.expected) << "'" << c.name << "'";
    timing.close();
  }
}

TEST(Timing, WaitTakesAPostAndTimesOutWithoutOne) {
  EngineSemaphore engine;
  ASSERT_NE(engine.sem, SEM_FAILED);
  SubheaderBytes sub(1, engine.name);
  Tarvo::Timing timing;
  ASSERT_EQ(timing.open(sub.get(), false), 0);
  sem_post(engine.sem);
  EXPECT_EQ(timing.wait(), 0);
  EXPECT_EQ(timing.wait(), ETIMEDOUT);
  timing.close();
  timing.close();
}

void onSignal(int) {}

TEST(Timing, SignalInterruptsTheWait) {
  EngineSemaphore engine;
  SubheaderBytes sub(1, engine.name);
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigaction(SIGUSR1, &action, nullptr);  // no SA_RESTART
  Tarvo::Timing timing;
  ASSERT_EQ(timing.open(sub.get(), false), 0);
  int result = -1;
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    result = timing.wait();
    done = true;
  });
  // Signal until the waiter has left its wait (it may not have started waiting yet).
  pthread_t handle = waiter.native_handle();
  const bool left = testsupport::WaitFor([&] {
    if (done) return true;
    pthread_kill(handle, SIGUSR1);
    return false;
  });
  ASSERT_TRUE(left) << "the signals never ended the wait";
  waiter.join();
  EXPECT_EQ(result, EINTR);
  signal(SIGUSR1, SIG_DFL);
}

TEST(Timing, Clocks) {
  EXPECT_EQ(Tarvo::getMonotonicRate(), 1000000000ULL);
  uint64_t previous = Tarvo::getMonotonicValue();
  for (int i = 0; i < 1000; ++i) {
    uint64_t now = Tarvo::getMonotonicValue();
    EXPECT_GE(now, previous);
    previous = now;
  }
  const uint64_t before = Tarvo::getMonotonicValue();
  Tarvo::sleepMs(20);
  EXPECT_GE(Tarvo::getMonotonicValue() - before, 20000000ULL);
  EXPECT_EQ(Tarvo::Timing::getErrorMessage(0), "");
  EXPECT_EQ(Tarvo::Timing::getErrorMessage(ETIMEDOUT), "Connection timed out");
}

}  // namespace
