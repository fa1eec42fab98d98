// The period callbacks of tloopback and trecord allocate nothing once running: a counting
// operator new in this test program sees no allocation across many work calls.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "netaudio_loopback/Loopback.h"
#include "netaudio_record/Recorder.h"
#include "sim/engine/StandInEngine.h"
#include "tool_test_support.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(size_t size) {
  ++g_allocations;
  if (void* p = malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }

namespace {

using sim::StandInEngine;

class SteadyState : public testing::Test {
 protected:
  void SetUp() override {
    // The counting operator new is the one in use (a vacuous pass otherwise).
    const long before = g_allocations;
    delete new std::vector<int>(4);
    ASSERT_EQ(g_allocations - before, 2);
    config.name = tools_test::uniqueAreaName();
    config.samplesPerChannel = 1000;  // wraps at changing points
    config.captureTx = false;
    engine.reset(new StandInEngine(config));
    ASSERT_EQ(engine->create(), 0);
    ASSERT_EQ(buffers.connect(config.name, false), 0);
    ASSERT_TRUE(buffers.refresh());
  }

  // Allocations during `calls` work calls of one to three periods.
  template <typename Tool>
  long allocationsDuring(Tool& tool, int calls) {
    long total = 0;
    for (int i = 0; i < calls; ++i) {
      const unsigned n = i % 3 + 1;
      engine->burst(n);
      const long before = g_allocations;
      tool.work(n);
      total += g_allocations - before;
    }
    return total;
  }

  StandInEngine::Config config;
  std::unique_ptr<StandInEngine> engine;
  Tarvo::Buffers buffers;
  std::atomic<bool> running{true};
};

TEST_F(SteadyState, LoopbackWorkAllocatesNothing) {
  Loopback loopback(buffers, 96);
  loopback.reset();
  EXPECT_EQ(allocationsDuring(loopback, 10000), 0);
}

TEST_F(SteadyState, RecorderWorkAllocatesNothing) {
  tools_test::TempDir dir;
  Recorder recorder(buffers, 480, dir.file("out.wav"), running);
  recorder.reset();
  EXPECT_EQ(allocationsDuring(recorder, 10000), 0);
  EXPECT_EQ(recorder.framesWritten(), 10000u / 3 * 6 * 48 + 48);
  testing::internal::CaptureStdout();
  recorder.close_encoders();
  testing::internal::GetCapturedStdout();
}

}  // namespace
