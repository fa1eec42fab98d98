// The stand-in engine's own promises, on which every client test relies.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim/engine/StandInEngine.h"
#include "tarvo/TarvoBuffers.h"
#include "tarvo/TarvoTiming.h"
#include "test_names.h"

namespace {

using sim::StandInEngine;

TEST(StandInEngine, PeriodsFillReceiveAndTakeTransmitAtTheSamePositions) {
  StandInEngine::Config cfg;
  cfg.name = tarvo_test::uniqueAreaName();
  cfg.samplesPerChannel = 100;
  cfg.samplesPerPeriod = 30;
  cfg.startPeriodCount = 2;  // position 60
  StandInEngine engine(cfg);
  ASSERT_EQ(engine.create(), 0);
  // Primed: the receive positions before the start hold the pattern of the last ring length.
  EXPECT_EQ(engine.rxRing(3)[59], StandInEngine::rxPattern(3, 59));
  EXPECT_EQ(engine.rxRing(3)[61], 0);  // not received yet
  engine.txRing(1)[60] = 11;
  engine.txRing(1)[62] = 12;
  engine.txRing(1)[95] = 13;
  engine.step(2);  // positions 60..119 -> ring 60..99, 0..19
  EXPECT_EQ(engine.periodCount(), 4u);
  EXPECT_EQ(engine.rxRing(3)[10], StandInEngine::rxPattern(3, 110));
  const std::vector<int32_t>& c = engine.capture(1);
  ASSERT_EQ(c.size(), 60u);
  EXPECT_EQ(c[0], 11);
  EXPECT_EQ(c[1], StandInEngine::kPoison);
  EXPECT_EQ(c[2], 12);
  EXPECT_EQ(c[35], 13);
  // Unwritten samples between two written ones are late; those before the first are not.
  EXPECT_EQ(engine.lateSamples(1), 1u + 32u);
  EXPECT_EQ(engine.txRing(1)[60], StandInEngine::kPoison);  // taken, marked again
  EXPECT_EQ(StandInEngine::rxPattern(5, (1ULL << 27) + 9), StandInEngine::rxPattern(5, 9));
  EXPECT_EQ(engine.posts(), 2u);
}

TEST(StandInEngine, ClockDriftAndStuckTimeFlag) {
  StandInEngine::Config cfg;
  cfg.name = tarvo_test::uniqueAreaName();
  cfg.driftPpm = 100000;  // 10 % fast
  cfg.timeFlagStuck = true;
  StandInEngine engine(cfg);
  ASSERT_EQ(engine.create(), 0);
  EXPECT_EQ(engine.header().clock_drift_ppb, 100000000u);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  engine.step(1);
  const uint64_t stamp = engine.header().monotonic;
  EXPECT_GT(stamp, Tarvo::getMonotonicValue());  // ahead by about 10 ms
  EXPECT_NE(engine.header().flags & Tarvo::kFlagTimeUpdating, 0u);
}

TEST(StandInEngine, BurstPublishesOnceAndLoopModeEchoesTransmit) {
  StandInEngine::Config cfg;
  cfg.name = tarvo_test::uniqueAreaName();
  cfg.rx = StandInEngine::RxContent::Loop;
  StandInEngine engine(cfg);
  ASSERT_EQ(engine.create(), 0);
  engine.txRing(2)[5] = 777;
  engine.burst(3);
  EXPECT_EQ(engine.periodCount(), 3u);
  EXPECT_EQ(engine.posts(), 1u);
  EXPECT_EQ(engine.rxRing(2)[5], 777);
  EXPECT_EQ(engine.rxRing(2)[6], 0);  // unwritten transmit echoes as silence
}

// An engine that ends on purpose tells the clients still mapping its area (magic 0); one that
// is killed cannot.
TEST(StandInEngine, DestroyClearsMagicAndAbandonLeavesIt) {
  for (bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "abandoned" : "destroyed");
    StandInEngine::Config cfg;
    cfg.name = tarvo_test::uniqueAreaName();
    StandInEngine engine(cfg);
    ASSERT_EQ(engine.create(), 0);
    Tarvo::Buffers buffers;
    ASSERT_EQ(buffers.connect(cfg.name, false), 0);
    if (killed) {
      engine.abandon();
    } else {
      engine.destroy();
    }
    EXPECT_EQ(buffers.getHeader()->magic == 0, !killed);
  }
}

}  // namespace
