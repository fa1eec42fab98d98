#include <pthread.h>

#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "devctl/core/timer.h"
#include "platform/clock.h"

namespace {

TEST(Timer, CallsTheCallbackOnANamedThreadUntilStopped) {
  platform::FakeClock clock;
  platform::SetClock(&clock);
  std::atomic<int> calls{0};
  CTimer timer("timerthread-with-a-long-name");
  timer.callback = [&] { return ++calls; };
  timer.Start();
  char name[32] = {};
  pthread_getname_np(timer.thread->native_handle(), name, sizeof name);
  std::string thread_name = name;
  while (calls < 3) std::this_thread::yield();
  timer.Stop();
  int after_stop = calls;
  EXPECT_EQ(thread_name, "timerthread-wit");
  EXPECT_GE(clock.SleptUs(), 2 * 1000000);
  EXPECT_EQ(calls, after_stop);
  platform::SetClock(nullptr);
}

TEST(Timer, StoppedTimerRunReturnsAtOnce) {
  CTimer timer("t");
  int calls = 0;
  timer.callback = [&] { return ++calls; };
  timer.Run();
  EXPECT_EQ(calls, 0);
}

}  // namespace
