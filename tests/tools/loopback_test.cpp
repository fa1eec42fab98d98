#include <gtest/gtest.h>

#include <cstdint>

#include "netaudio_loopback/Loopback.h"
#include "sim/engine/StandInEngine.h"
#include "tool_test_support.h"

namespace {

using sim::StandInEngine;

struct LoopbackCase {
  const char* label;
  uint32_t samplesPerChannel;
  uint32_t samplesPerPeriod;
  int latency;
  unsigned periodsPerBatch;
  uint64_t startPeriodCount;
};

class LoopbackRun {
 public:
  explicit LoopbackRun(const LoopbackCase& c, uint32_t tx = 4, uint32_t rx = 4) : mCase(c) {
    config.name = tools_test::uniqueAreaName();
    config.samplesPerChannel = c.samplesPerChannel;
    config.samplesPerPeriod = c.samplesPerPeriod;
    config.startPeriodCount = c.startPeriodCount;
    config.txChannels = tx;
    config.rxChannels = rx;
    config.maxChannels = 8;
    config.txAfter = StandInEngine::TxAfter::Poison;
    engine.reset(new StandInEngine(config));
  }

  void start() {
    ASSERT_EQ(engine->create(), 0);
    ASSERT_EQ(buffers.connect(config.name, false), 0);
    ASSERT_TRUE(buffers.refresh());
    loopback.reset();
  }

  // One batch: the engine advances `periods` at once, the loopback copies them, and the
  // transmit ring then holds every copied receive sample `latency` positions further on.
  void batch(unsigned periods) {
    const Tarvo::buffer_header& h = engine->header();
    const uint64_t before = h.period_count;
    if (periods == 1) {
      engine->step(1);
    } else {
      engine->burst(periods);
    }
    loopback.work(periods);
    const uint64_t end = h.period_count * h.samples_per_period;
    uint64_t copied = (h.period_count - before) * h.samples_per_period;
    if (copied > h.samples_per_channel) copied %= h.samples_per_channel;
    const int64_t spc = h.samples_per_channel;
    for (unsigned ch = 0; ch < loopback.channelCount(); ++ch) {
      for (uint64_t a = end - copied; a < end; ++a) {
        const int64_t pos = ((int64_t(a % spc) + mCase.latency) % spc + spc) % spc;
        ASSERT_EQ(engine->txRing(ch)[pos], StandInEngine::rxPattern(ch, a))
            << mCase.label << " ch " << ch << " absolute " << a;
      }
    }
  }

  LoopbackCase mCase;
  StandInEngine::Config config;
  std::unique_ptr<StandInEngine> engine;
  Tarvo::Buffers buffers;
  Loopback loopback{buffers, mCase.latency};
};

// Every copied receive sample lands `latency` ring positions further on, across both ring ends
// (crossed at different points), with batches, leads of 0, negative and beyond the ring, ring
// lengths that do not divide 2^32, and period counts beyond 32 bits.
TEST(LoopbackTest, ReceiveSamplesLandLatencyAheadInTheTransmitRing) {
  const LoopbackCase cases[] = {
      {"default", 4096, 48, 48, 1, 0},
      {"odd ring", 4800, 64, 100, 1, 0},
      {"bursts", 1000, 48, 96, 7, 3},
      {"lead 0", 1000, 48, 0, 1, 0},
      {"negative lead", 1000, 48, -30, 1, 5},
      {"negative lead past ring", 1000, 48, -2030, 3, 5},
      {"lead past ring", 1000, 48, 2500, 2, 0},
      {"batch longer than ring", 1000, 48, 96, 25, 0},
      {"batch of exactly one ring", 960, 48, 48, 20, 1},
      {"count beyond 32 bits", 4800, 48, 96, 3, (uint64_t{1} << 32) + 7},
  };
  for (const LoopbackCase& c : cases) {
    LoopbackRun run(c);
    run.start();
    for (int i = 0; i < 60; ++i) {
      run.batch(c.periodsPerBatch);
      if (testing::Test::HasFatalFailure()) return;
    }
  }
}

// What the engine takes from the transmit rings, as absolute samples: at a it is the receive
// sample a - latency, with nothing late once the loop runs, for a lead of one period or more.
TEST(LoopbackTest, EngineReceivesItsOwnSamplesDelayedByTheLead) {
  const LoopbackCase cases[] = {
      {"one period", 1000, 48, 48, 1, 2},
      {"two periods, odd ring", 4800, 64, 128, 1, 0},
  };
  for (const LoopbackCase& c : cases) {
    LoopbackRun run(c);
    run.start();
    for (int i = 0; i < 100; ++i) run.batch(1);
    const uint64_t first = c.startPeriodCount * c.samplesPerPeriod;
    for (unsigned ch = 0; ch < 4; ++ch) {
      const std::vector<int32_t>& tx = run.engine->capture(ch);
      ASSERT_EQ(tx.size(), 100u * c.samplesPerPeriod);
      for (size_t j = 0; j < tx.size(); ++j) {
        const uint64_t a = first + j;
        const int32_t expected = a < first + c.latency
                                     ? StandInEngine::kPoison
                                     : StandInEngine::rxPattern(ch, a - c.latency);
        ASSERT_EQ(tx[j], expected) << c.label << " ch " << ch << " absolute " << a;
      }
      EXPECT_EQ(run.engine->lateSamples(ch), 0u) << c.label;
    }
  }
}

TEST(LoopbackTest, OnlyChannelsPresentInBothDirectionsAreLooped) {
  LoopbackRun run({"8 tx 4 rx", 1000, 48, 48, 1, 0}, 8, 4);
  run.start();
  EXPECT_EQ(run.loopback.channelCount(), 4u);
  for (int i = 0; i < 30; ++i) run.batch(1);
  for (unsigned ch = 4; ch < 8; ++ch) {
    for (int32_t sample : run.engine->capture(ch)) ASSERT_EQ(sample, StandInEngine::kPoison);
  }
  EXPECT_NE(run.engine->capture(3).back(), StandInEngine::kPoison);
}

// A reconfiguration (new period size, channel counts and period count) re-syncs both heads from
// the header; the copies stay exact afterwards.
TEST(LoopbackTest, ResetAfterReconfigurationResyncsTheHeads) {
  LoopbackRun run({"reconfigure", 1000, 48, 96, 1, 0});
  run.start();
  for (int i = 0; i < 10; ++i) run.batch(1);
  run.engine->reconfigure([](Tarvo::buffer_header& h) {
    h.samples_per_period = 64;
    h.period_count += 1234;
    h.num_channels[Tarvo::kTx] = 3;
  });
  ASSERT_TRUE(run.buffers.refresh());
  run.loopback.reset();
  const Tarvo::buffer_header& h = run.engine->header();
  EXPECT_EQ(run.loopback.rxHead(), h.period_count * 64 % 1000);
  EXPECT_EQ(run.loopback.txHead(), (h.period_count * 64 + 96) % 1000);
  EXPECT_EQ(run.loopback.channelCount(), 3u);
  for (int i = 0; i < 40; ++i) run.batch(i % 3 + 1);
}

}  // namespace
