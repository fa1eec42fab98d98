#include <gtest/gtest.h>

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

namespace {

using sim::StandInEngine;
using Trace = std::vector<std::string>;

// The period loop on its own thread against the stepped engine; callbacks append to a trace.
class RunnerTest : public testing::Test {
 protected:
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

  Trace snapshot() {
    std::lock_guard<std::mutex> lock(mutex);
    return trace;
  }

  // Waits until the trace has n entries (a liveness bound, not a timing check).
  Trace waitForTrace(size_t n) {
    for (int i = 0; i < 10000 && snapshot().size() < n; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return snapshot();
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
};

TEST_F(RunnerTest, UnconnectedReturnsEinvalWithoutCalls) {
  int calls = 0;
  EXPECT_EQ(runner.run(running, [&](unsigned) { ++calls; }, [&] { ++calls; }), EINVAL);
  EXPECT_EQ(calls, 0);
}

TEST_F(RunnerTest, EndsAtOnceWhenClosedOrStopped) {
  createAndConnect();
  int calls = 0;
  engine->close();
  EXPECT_EQ(runner.run(running, [&](unsigned) { ++calls; }, [&] { ++calls; }), 0);
  engine->reopen();
  running = false;
  EXPECT_EQ(runner.run(running, [&](unsigned) { ++calls; }, [&] { ++calls; }), 0);
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(runner.calledBackInLastRun());
}

TEST_F(RunnerTest, TimingObjectMissingIsReportedOnce) {
  config.timing = StandInEngine::Timing::MissingSemaphore;
  createAndConnect();
  int calls = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(runner.run(running, [&](unsigned) { ++calls; }, [&] { ++calls; }), ENOENT);
  EXPECT_EQ(runner.run(running, [&](unsigned) { ++calls; }, [&] { ++calls; }), ENOENT);
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
  waitForTrace(4);
  // Two reconfigurations (reset_count 2 -> 4 -> 6) while the loop sleeps: the period that
  // wakes it is handed over first, then one reset.
  engine->changeRate(44100);
  engine->changeRate(48000);
  engine->step(1);
  waitForTrace(6);
  engine->step(1);
  EXPECT_EQ(waitForTrace(7),
            Trace({"reset", "work 1", "active", "work 3", "work 1", "reset", "work 1"}));
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
  createAndConnect();
  start();
  waitForTrace(1);
  engine->step(1);
  waitForTrace(3);
  // No period for more than a second: exactly one change to inactive.
  Trace t = waitForTrace(4);
  ASSERT_EQ(t.back(), "inactive");
  engine->changeRate(48000);  // a reset does not change activity
  engine->step(1);
  waitForTrace(7);
  engine->step(1);
  EXPECT_EQ(waitForTrace(8), Trace({"reset", "work 1", "active", "inactive", "work 1", "active",
                                    "reset", "work 1"}));
  stop();
  EXPECT_TRUE(runner.isActive());
}

TEST_F(RunnerTest, StopEndsTheWaitForAnEvenResetCount) {
  createAndConnect();
  start();
  waitForTrace(1);
  engine->reconfigure(nullptr, true);
  engine->step(1);
  waitForTrace(3);
  running = false;
  EXPECT_EQ(waitForTrace(4), Trace({"reset", "work 1", "active", "end"}));
  EXPECT_EQ(result, 0);
}

TEST_F(RunnerTest, ClosedAreaEndsTheWaitForAnEvenResetCount) {
  createAndConnect();
  start();
  waitForTrace(1);
  engine->reconfigure(nullptr, true);
  engine->step(1);
  waitForTrace(3);
  engine->close();
  EXPECT_EQ(waitForTrace(4), Trace({"reset", "work 1", "active", "end"}));
  EXPECT_EQ(result, 0);
}

TEST_F(RunnerTest, LayoutThatNoLongerFitsEndsTheLoop) {
  createAndConnect();
  start();
  waitForTrace(1);
  engine->reconfigure([](Tarvo::buffer_header& h) { h.num_channels[0] = 100000; });
  engine->step(1);
  EXPECT_EQ(waitForTrace(4), Trace({"reset", "work 1", "active", "end"}));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(buffers.getTarvoTxChannel(0), nullptr);
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
