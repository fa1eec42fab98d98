#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "sim/engine/StandInEngine.h"
#include "tarvo/TarvoTool.h"
#include "tool_test_support.h"
#include "ttrace/TimingTrace.h"

namespace {

using sim::StandInEngine;
using tools_test::splitLines;

Tarvo::buffer_header knownHeader() {
  Tarvo::buffer_header h;
  memset(&h, 0, sizeof h);
  h.magic = 0x1A2B;
  h.buffer_length = 70000;
  h.header_length = 128;
  h.flags = 1;
  h.channel0_offset_bytes[0] = 256;
  h.channel0_offset_bytes[1] = 0xABC0;
  h.timing_object_offset_bytes = 0x80;
  h.reset_count = 6;
  h.samplerate = 48000;
  h.encoding = 24;
  h.samples_per_channel = 4800;
  h.bytes_per_channel = 19204;
  h.num_channels[0] = 8;
  h.num_channels[1] = 64;
  h.epoch[0] = 5;
  h.epoch[1] = 7;
  h.samples_per_period = 48;
  h.period_count = (uint64_t{1} << 32) + 9;
  h.clock_drift_ppb = 0xFFFFFFF6;  // printed unsigned
  h.monotonic = 123456789012345;
  return h;
}

TEST(TraceTest, HeaderLinesShowEveryFieldInItsBase) {
  Tarvo::buffer_header h = knownHeader();
  EXPECT_EQ(ttrace::metadataLine(h),
            "METADATA magic=0x1a2b buffer_length=70000 header_length=128 flags=0x1 "
            "channel0_offset_bytes=256/43968");
  EXPECT_EQ(ttrace::layoutLine(h),
            "AUDIO samplerate=48000 encoding=24 samples/channel=4800 bytes/channels=19204 "
            "num_channels=8/64");
  EXPECT_EQ(ttrace::timeLine(h),
            "TIME epoch=5.7 reset_count=6 samples_per_period=48 period_count=4294967305 "
            "clock_drift_ppb=4294967286 monotonic=123456789012345");
  h.magic = 0xDEADBEEF;
  h.flags = 0x10001;
  EXPECT_EQ(ttrace::metadataLine(h).substr(0, 40), "METADATA magic=0xdeadbeef buffer_length=");
  EXPECT_NE(ttrace::metadataLine(h).find(" flags=0x10001 "), std::string::npos);
}

// An engine whose periods of 48 samples at 48 kHz come every `periodNs` of its monotonic
// counter, traced for one second of network time at 1 ms periods.
std::vector<std::string> traceOneSecond(double periodNs, unsigned samplerate) {
  Tarvo::buffer_header h = knownHeader();
  h.flags = 0;
  h.period_count = 1000;
  const uint64_t start = 5000000000ull;
  h.monotonic = start;
  ttrace::NetworkMonotonicTrace trace;
  trace.line(h, samplerate, 100);  // the first line compares with 0
  std::vector<std::string> lines;
  for (int p = 1; p <= 1000; ++p) {
    h.period_count = 1000 + p;
    h.monotonic = start + static_cast<uint64_t>(p * periodNs);
    const std::string line = trace.line(h, samplerate, 100);
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

double ratioOf(const std::string& line) {
  const size_t at = line.find(" ratio=");
  return at == std::string::npos ? -1 : std::stod(line.substr(at + 7));
}

TEST(TraceTest, TimingLinesEveryHundredMillisecondsWithTheRatio) {
  const std::vector<std::string> nominal = traceOneSecond(1e6, 48000);
  // A line once more than 100 ms passed: every 101 periods.
  ASSERT_EQ(nominal.size(), 9u);
  EXPECT_EQ(nominal[0],
            "network time in samples 52848 (1.01e+08ns delta) monotonic counter 5101000000 "
            "(1.01e+08ns delta) ratio=1");
  for (const std::string& line : nominal) EXPECT_NEAR(ratioOf(line), 1.0, 1e-9) << line;

  // The engine's network clock 100 ppm fast: less monotonic time per network time.
  const std::vector<std::string> drifting = traceOneSecond(1e6 / (1 + 100e-6), 48000);
  ASSERT_GE(drifting.size(), 9u);
  for (const std::string& line : drifting) EXPECT_NEAR(ratioOf(line), 1 - 100e-6, 2e-6) << line;
}

TEST(TraceTest, UnknownSampleRateGivesTheVariantWithoutNanoseconds) {
  const std::vector<std::string> lines = traceOneSecond(1e6, 0);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0],
            "network time in samples 52848 (time in ns unknown) monotonic counter 5101000000ns "
            "(1.01e+08ns delta) Samplerate unavailable");
}

TEST(TraceTest, StuckUpdateFlagSkipsTheLineInsteadOfHanging) {
  Tarvo::buffer_header h = knownHeader();
  h.flags = Tarvo::kFlagTimeUpdating;
  ttrace::NetworkMonotonicTrace trace;
  uint64_t network = 0, monotonic = 0;
  EXPECT_FALSE(ttrace::NetworkMonotonicTrace::snapshot(h, network, monotonic));
  EXPECT_EQ(trace.line(h, 48000, 100), "");
  // Once the flag clears, the line comes (its deltas still from 0: nothing was taken).
  h.flags = 0;
  EXPECT_NE(trace.line(h, 48000, 100).find("network time in samples 206158430640 "),
            std::string::npos);
}

// What the captured standard error holds so far (the capture writes to a file behind fd 2).
std::string capturedSoFar() {
  std::ifstream in("/proc/self/fd/2");
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The whole tool loop in process on a private area name: the header lines after "Connected",
// then the dashes and the header lines again at the first reset, and SIGINT ends it, also
// while the engine keeps its update flag set.
TEST(TraceTest, ToolLoopPrintsTheHeaderTwiceAndEndsOnSigint) {
  StandInEngine::Config config;
  config.name = tools_test::uniqueAreaName();
  config.timing = StandInEngine::Timing::Polling;
  StandInEngine engine(config);
  ASSERT_EQ(engine.create(), 0);
  // The update flag is set before the tool connects, so both headers it prints show it, and it
  // stays set: no timing line can be taken.
  Tarvo::buffer_header& h = engine.header();
  __atomic_or_fetch(&h.flags, Tarvo::kFlagTimeUpdating, __ATOMIC_RELEASE);
  Tarvo::g_running = true;
  testing::internal::CaptureStderr();
  std::thread loop([&] { ttrace::runTimingTrace(config.name); });
  // Periods go on until the tool has printed the header again at its first reset (read from the
  // captured stream as it grows), and a while after, however slowly the tool's thread runs.
  auto period = [&h] {
    __atomic_add_fetch(&h.period_count, 1, __ATOMIC_RELEASE);
    __atomic_add_fetch(&h.monotonic, 1000000, __ATOMIC_RELEASE);
  };
  ASSERT_TRUE(tools_test::waitUntil(
      [&] {
        period();
        return splitLines(capturedSoFar()).size() >= 9;
      },
      60));
  for (int i = 0; i < 300; ++i) {
    period();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // The tool's handler must be in place before the signal comes.
  ASSERT_TRUE(tools_test::waitUntil([] {
    struct sigaction current = {};
    sigaction(SIGINT, nullptr, &current);
    return current.sa_handler != SIG_DFL;
  }));
  raise(SIGINT);
  loop.join();
  const std::vector<std::string> err = splitLines(testing::internal::GetCapturedStderr());
  ASSERT_GE(err.size(), 10u);
  EXPECT_EQ(err[0], "Connecting...");
  EXPECT_EQ(err[1], "Connected");
  EXPECT_EQ(err[5], "-----------------------------------------");
  EXPECT_EQ(err[2].substr(0, 25), "METADATA magic=0x54415256");
  EXPECT_EQ(err[3].substr(0, 22), "AUDIO samplerate=48000");
  EXPECT_EQ(err[4].substr(0, 13), "TIME epoch=1.");
  EXPECT_EQ(err[6], err[2]);
  EXPECT_EQ(err[7], err[3]);
  EXPECT_EQ(err[8].substr(0, 5), "TIME ");
  for (const std::string& line : err) EXPECT_EQ(line.find("network time"), std::string::npos);
  EXPECT_EQ(err.back(), "Disconnected");
  Tarvo::g_running = true;
}

}  // namespace
