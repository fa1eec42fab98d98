// Once playing, the period loop and tplay's work callback allocate nothing: a counting
// operator new in this test program sees no allocation across many passes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "audio_files.h"
#include "netaudio_play/Playback.h"
#include "netaudio_play/SndfileDecoder.h"
#include "sim/engine/StandInEngine.h"
#include "tarvo/TarvoRunner.h"
#include "../tarvo/test_names.h"

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

// The loop runs on this thread against a polled engine that the work callback itself
// advances, so every pass has a period to hand over.
TEST(SteadyState, PeriodLoopAndPlaybackAllocateNothing) {
  const long before = g_allocations;
  delete new std::vector<int>(4);
  ASSERT_EQ(g_allocations - before, 2) << "the counting operator new is not in use";

  TempDir dir;
  ASSERT_TRUE(
      writeInts(dir.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, ramp16(3000)));
  StandInEngine::Config config;
  config.name = tarvo_test::uniqueAreaName();
  config.samplesPerChannel = 1000;  // wraps at changing points
  config.timing = StandInEngine::Timing::NoSubheader;
  config.captureTx = false;
  StandInEngine engine(config);
  ASSERT_EQ(engine.create(), 0);
  Tarvo::Buffers buffers;
  ASSERT_EQ(buffers.connect(config.name, false), 0);

  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  WavDecoder wav;
  ASSERT_TRUE(wav.open(dir.file("a.wav").c_str()));
  Decoder* decoder = &wav;
  std::atomic<bool> running{true};
  {
    Playback playback(buffers, 96, decoder, 0, 0, true, running);
    Tarvo::Runner runner(buffers);
    runner.setActiveChangedFn([](bool) {});
    long calls = 0, atPreviousCall = 0, steadyAllocations = 0;
    runner.run(
        running,
        [&](unsigned n) {
          // Allocations since the previous call: one loop pass and one work call.
          if (calls > 10) steadyAllocations += g_allocations - atPreviousCall;
          playback.work(n);
          if (++calls == 10000) running = false;
          engine.burst(calls % 3 + 1);
          atPreviousCall = g_allocations;
        },
        [&] {
          playback.reset();
          engine.step(1);
        });
    EXPECT_EQ(calls, 10000);
    EXPECT_EQ(steadyAllocations, 0);
  }
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
}

}  // namespace
