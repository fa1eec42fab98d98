#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/engine/StandInEngine.h"
#include "tarvo/TarvoRunner.h"
#include "test_names.h"
#include "tests/support/wait_for.h"

namespace {

using sim::StandInEngine;
using Trace = std::vector<std::string>;

// The period loop on its own thread against the stepped engine; callbacks append to a trace.
class RunnerTest : public testing::Test {
 public:
  void SetUp() override { config.name = tarvo_test::uniqueAreaName(); }
  void TearDown() override { stop(); }

  void createAndConnect() {
    engine.reset(new StandInEngine(config));
    ASSERT_EQ(engine->create(), 0);
    ASSERT_EQ(buffers.connect(config.name, false), 0);
  }

  void start() {
    runner.setActiveChangedFn([this](bool a) { add(a ? "active" : "inactive"); });
    thread = std::thread([this] {
      result = runner.run(
          running, [this](unsigned n) { add("work " + std::to_string(n)); },
          [this] { add("reset"); });
      add("end");
    });
  }

  // Stops the loop; a period wakes it at once from its wait.
  void stop() {
    running = false;
    if (!thread.joinable()) return;
    if (engine) engine->step(1);
    thread.join();
  }

  void add(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex);
    trace.push_back(entry);
  }

  // A loop that sees no period for more than a second reports itself inactive, and active again
  // at the next period. Only ActivityFollowsThePeriods waits for that on purpose; elsewhere such
  // a pause can only come from a busy machine holding this test up between two periods, so the
  // other tests look at the trace without it.
  Trace snapshot() {
    std::lock_guard<std::mutex> lock(mutex);
    if (keepPauses) return trace;
    Trace out;
    bool paused = false;
    for (const std::string& entry : trace) {
      if (entry == "inactive") {
        paused = true;
      } else if (entry == "active" && paused) {
        paused = false;
      } else {
        out.push_back(entry);
      }
    }
    return out;
  }

  // Waits until the trace has n entries (a liveness bound, not a timing check).
  Trace waitForTrace(size_t n) {
    return waitUntil([n](const Trace& t) { return t.size() >= n; });
  }

  // The trace once pred holds for it; one that never comes fails the test.
  template <typename Pred>
  Trace waitUntil(Pred pred) {
    Trace t;
    EXPECT_TRUE(testsupport::WaitFor([&] {
      t = snapshot();
      return !t.empty() && pred(t);
    })) << "the runner's trace never got there";
    return t;
  }

  static int count(const Trace& t, const std::string& entry) {
    return static_cast<int>(std::count(t.begin(), t.end(), entry));
  }

  StandInEngine::Config config;
  std::unique_ptr<StandInEngine> engine;
  Tarvo::Buffers buffers;
  Tarvo::Runner runner{buffers};
  std::atomic<bool> running{true};
  std::thread thread;
  int result = -1;
  std::mutex mutex;
  Trace trace;
  bool keepPauses = false;
};

TEST_F(RunnerTest, UnconnectedReturnsEinvalWithoutCalls) {
  int calls = 0;
  EXPECT_EQ(runner.run(
                running, [&](unsigned) { ++calls; }, [&] { ++calls; }),
            EINVAL);
  EXPECT_EQ(calls, 0);
}

TEST_F(RunnerTest, EndsAtOnceWhenClosedOrStopped) {
  createAndConnect();
  int calls = 0;
  engine->close();
  EXPECT_EQ(runner.run(
                running, [&](unsigned) { ++calls; }, [&] { ++calls; }),
            0);
  engine->reopen();
  running = false;
  EXPECT_EQ(runner.run(
                running, [&](unsigned) { ++calls; }, [&] { ++calls; }),
            0);
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(runner.calledBackInLastRun());
}

TEST_F(RunnerTest, TimingObjectMissingIsReportedOnce) {
  config.timing = StandInEngine::Timing::MissingSemaphore;
  createAndConnect();
  int calls = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(runner.run(
                running, [&](unsigned) { ++calls; }, [&] { ++calls; }),
            ENOENT);
  EXPECT_EQ(runner.run(
                running, [&](unsigned) { ++calls; }, [&] { ++calls; }),
            ENOENT);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error opening timing object: No such file or directory\n");
  EXPECT_EQ(calls, 0);
}

TEST_F(RunnerTest, CallOrderThroughBatchesAndReconfigurations) {
  config.startPeriodCount = (1ULL << 32) + 7;
  createAndConnect();
  start();
  EXPECT_EQ(waitForTrace(1), Trace({"reset"}));
  engine->step(1);
  EXPECT_EQ(waitForTrace(3), Trace({"reset", "work 1", "active"}));
  engine->burst(3);
  EXPECT_EQ(waitForTrace(4), Trace({"reset", "work 1", "active", "work 3"}));
  // Two reconfigurations (reset_count 2 -> 4 -> 6) before the loop looks again: one reset.
  // The period that wakes the loop belongs to the new layout: whether the loop was asleep or
  // still on its way back to sleep, the reset comes first and drops it, and no work call hands
  // it to the old layout's pointers.
  engine->changeRate(44100);
  engine->changeRate(48000);
  engine->step(1);
  waitUntil([](const Trace& t) { return count(t, "reset") == 2; });
  engine->step(1);
  Trace t =
      waitUntil([](const Trace& t) { return t.back() == "work 1" && count(t, "reset") == 2; });
  const Trace tail(t.begin() + 4, t.end());
  EXPECT_EQ(tail, Trace({"reset", "work 1"})) << testing::PrintToString(t);
  EXPECT_EQ(engine->header().reset_count, 6u);
}

TEST_F(RunnerTest, OddResetCountAtStartIsWaitedOut) {
  createAndConnect();
  engine->reconfigure(nullptr, true);
  start();
  engine->step(3);  // periods during the reconfiguration are not passed on
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(snapshot(), Trace());
  engine->finishReconfigure();
  engine->step(1);
  waitForTrace(1);
  engine->step(1);
  EXPECT_EQ(waitForTrace(3), Trace({"reset", "work 1", "active"}));
}

TEST_F(RunnerTest, RewoundCounterGivesNoWorkUntilItPassesTheConsumedCount) {
  config.startPeriodCount = 100;
  createAndConnect();
  start();
  waitForTrace(1);
  engine->step(1);
  waitForTrace(3);
  engine->rewind(2);
  engine->step(2);  // back at the consumed count
  engine->step(1);  // one new period
  EXPECT_EQ(waitForTrace(4), Trace({"reset", "work 1", "active", "work 1"}));
}

TEST_F(RunnerTest, ActivityFollowsThePeriods) {
  keepPauses = true;
  createAndConnect();
  start();
  waitForTrace(1);
  engine->step(1);
  waitForTrace(3);
  // No period for more than a second: exactly one change to inactive.
  Trace t = waitForTrace(4);
  ASSERT_EQ(t.back(), "inactive");
  engine->changeRate(48000);  // a reset does not change activity
  const auto before = std::chrono::steady_clock::now();
  engine->step(1);
  waitUntil([](const Trace& t) { return count(t, "reset") == 2; });
  engine->step(1);
  if (std::chrono::steady_clock::now() - before > std::chrono::seconds(1)) {
    // The loop rightly went inactive once more in between; what follows assumes it did not.
    GTEST_SKIP() << "held up for more than a second between two periods";
  }
  t = waitUntil([](const Trace& t) { return count(t, "active") == 2; });
  // The period after the reconfiguration never reaches a work call before the reset (the
  // reset drops it when it woke the loop; a loop whose wait ended just before it gets it after
  // the reset).
  const Trace tail(t.begin() + 4, t.begin() + std::min<size_t>(t.size(), 7));
  EXPECT_EQ(tail, Trace({"reset", "work 1", "active"})) << testing::PrintToString(t);
  EXPECT_EQ(count(t, "inactive"), 1);
  stop();
  EXPECT_TRUE(runner.isActive());
}

// Stop requests, a closed area and a layout that no longer fits all end the loop, also while
// it waits for reset_count to become even.
TEST_F(RunnerTest, EndsWhileTheEngineReconfigures) {
  struct Case {
    const char* what;
    void (*act)(RunnerTest&);
  } cases[] = {
      {"stop while odd",
       [](RunnerTest& r) {
         r.engine->reconfigure(nullptr, true);
         r.engine->step(1);
         r.running = false;
       }},
      {"closed while odd",
       [](RunnerTest& r) {
         r.engine->reconfigure(nullptr, true);
         r.engine->step(1);
         r.engine->close();
       }},
      {"layout beyond the mapping",
       [](RunnerTest& r) {
         r.engine->reconfigure([](Tarvo::buffer_header& h) { h.num_channels[0] = 100000; });
         r.engine->step(1);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    config.name = tarvo_test::uniqueAreaName();
    createAndConnect();
    start();
    waitForTrace(1);
    engine->step(1);
    waitUntil([](const Trace& t) { return count(t, "work 1") == 1; });
    c.act(*this);
    Trace t = waitUntil([](const Trace& t) { return t.back() == "end"; });
    EXPECT_EQ(t.back(), "end");
    EXPECT_EQ(count(t, "reset"), 1);
    EXPECT_EQ(result, 0);
    stop();
    EXPECT_EQ(buffers.getTarvoTxChannel(0) == nullptr, c.what[0] == 'l');
    buffers.disconnect();
    running = true;
    trace.clear();
  }
}

// An engine stuck mid-reconfiguration is a stalled engine: the loop goes inactive after a
// second, and comes back with a reset once the count is even again.
TEST_F(RunnerTest, StuckReconfigurationKeepsTheActivityRule) {
  keepPauses = true;
  createAndConnect();
  start();
  waitForTrace(1);
  engine->step(1);
  waitForTrace(3);
  engine->reconfigure(nullptr, true);
  engine->step(1);  // wakes the loop into the wait for an even count
  Trace t = waitUntil([](const Trace& t) { return t.back() == "inactive"; });
  ASSERT_EQ(t.back(), "inactive") << testing::PrintToString(t);
  EXPECT_EQ(count(t, "reset"), 1);
  engine->finishReconfigure();
  engine->step(1);
  waitUntil([](const Trace& t) { return count(t, "reset") == 2; });
  engine->step(1);
  t = waitUntil([](const Trace& t) { return t.back() == "active"; });
  // The period that woke the loop into the wait came after the reconfiguration began: it is
  // never handed over.
  const Trace tail(t.begin() + 3, t.end());
  EXPECT_EQ(tail, Trace({"inactive", "reset", "work 1", "active"})) << testing::PrintToString(t);
}

// With endWhenLost, more than a second without progress ends the run: an engine that died
// with magic still set, one stuck mid-reconfiguration, or one that never delivered a period.
TEST_F(RunnerTest, LostEngineEndsTheRunWhenAsked) {
  struct Case {
    const char* what;
    bool periodFirst;
    bool stuck;
  } cases[] = {
      {"no period after activity", true, false},
      {"stuck mid-reconfiguration", true, true},
      {"no period at all", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    config.name = tarvo_test::uniqueAreaName();
    keepPauses = true;
    createAndConnect();
    runner.setEndWhenLost(true);
    start();
    waitForTrace(1);
    if (c.periodFirst) {
      engine->step(1);
      waitUntil([](const Trace& t) { return count(t, "work 1") == 1; });
    }
    if (c.stuck) {
      engine->reconfigure(nullptr, true);
      engine->step(1);
    }
    Trace t = waitUntil([](const Trace& t) { return t.back() == "end"; });
    ASSERT_EQ(t.back(), "end") << testing::PrintToString(t);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(runner.lostEngineInLastRun());
    EXPECT_FALSE(runner.isActive());
    stop();
    // A run that was stopped is not a lost engine.
    if (c.stuck) engine->finishReconfigure();
    running = false;
    EXPECT_EQ(runner.run(running, nullptr, nullptr), 0);
    EXPECT_FALSE(runner.lostEngineInLastRun());
    runner.setEndWhenLost(false);
    buffers.disconnect();
    running = true;
    trace.clear();
  }
}

TEST_F(RunnerTest, PollsWithoutATimingObject) {
  config.timing = StandInEngine::Timing::NoSubheader;
  createAndConnect();
  start();
  waitForTrace(1);
  engine->step(2);
  Trace t = waitForTrace(2);
  ASSERT_GE(t.size(), 2u);
  EXPECT_TRUE(t[1] == "work 2" || t[1] == "work 1") << t[1];
}

}  // namespace
