#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <cstring>
#include <regex>

#include "sim/engine/StandInEngine.h"
#include "tarvo/TarvoBuffers.h"
#include "tarvo/TarvoConnectionLoop.h"
#include "tool_test_support.h"

namespace {

using tools_test::splitLines;
using tools_test::TempDir;
using tools_test::ToolProcess;

const std::vector<std::string> kUsage = {
    "Usage:",
    "\t-l Loopback Tx Latency (# samples) - default is 48",
    "\t-s Shared memory name to use - default is TarvoEP",
    "\t-v Print out version",
};

TEST(LoopbackProgramTest, RefusedOptionsPrintUsageAndVersionExitsAtOnce) {
  struct Case {
    std::vector<std::string> args;
    int status;
    bool usage;
  };
  const Case cases[] = {
      {{"-h"}, 1, true},  {{"-x"}, 1, true},        {{"-l", "100", "-h"}, 1, true},
      {{"-v"}, 0, false}, {{"-v", "-h"}, 0, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ToolProcess tool(TLOOPBACK_PATH, c.args, dir.path());
    ASSERT_EQ(tool.wait(), c.status) << c.args[0];
    if (c.usage) {
      EXPECT_EQ(splitLines(tool.out()), kUsage);
    } else {
      EXPECT_TRUE(std::regex_match(
          tool.out(), std::regex("netaudio_examples : v1\\.2\\.0\\.rc2::[0-9a-f]{8}\n")))
          << tool.out();
    }
    EXPECT_EQ(tool.err().find("Connecting..."), std::string::npos);
  }
}

// Against the real-time engine: settings lines, the connection lines, and a transmit capture in
// which every sample the loopback wrote is the receive sample one lead earlier.
TEST(LoopbackProgramTest, LoopsTheEngineReceiveRingsBackWithTheLead) {
  TempDir dir;
  const std::string name = tools_test::uniqueAreaName();
  ASSERT_EQ(mkdir(dir.file("engine").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("tool").c_str(), 0755), 0);
  ToolProcess engine(TARVO_ENGINE_PATH,
                     {"--name", name, "--tx", "2", "--rx", "2", "--spc", "48000", "--spp", "48",
                      "--start-count", "2000", "--capture", dir.path()},
                     dir.file("engine"));
  ASSERT_TRUE(
      tools_test::waitUntil([&] { return engine.out().find("ready") != std::string::npos; }));
  // Half a second ahead: a loopback held up by a busy machine still writes before the engine
  // takes the samples.
  ToolProcess tool(TLOOPBACK_PATH, {"-s", name, "-l", "-24000"}, dir.file("tool"));
  ASSERT_TRUE(tool.waitForErrLine("Activated"));
  // Let it loop for a second beyond its first written sample (its start-up on a busy machine
  // may take a while of the engine's time).
  auto firstWritten = [](const std::string& raw) {
    for (size_t a = 0; a + 4 <= raw.size(); a += 4) {
      int32_t v;
      memcpy(&v, raw.data() + a, 4);
      if (v != sim::StandInEngine::kPoison) return a / 4;
    }
    return raw.size();
  };
  ASSERT_TRUE(tools_test::waitUntil([&] {
    const std::string raw = tools_test::readFile(dir.file("tx1.raw"));
    return raw.size() / 4 > firstWritten(raw) + 48000;
  }));
  tool.signal(SIGINT);
  EXPECT_EQ(tool.wait(), 0);
  engine.signal(SIGTERM);
  EXPECT_EQ(engine.wait(), 0);

  EXPECT_EQ(splitLines(tool.out()), std::vector<std::string>({
                                        "Using \"" + name + "\" as shared memory",
                                        "Using -24000 samples as Tx Latency",
                                    }));
  const std::vector<std::string> err = splitLines(tool.err());
  ASSERT_GE(err.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(err.begin(), err.begin() + 3),
            std::vector<std::string>({"Connecting...", "Connected", "Activated"}))
      << tool.err();
  EXPECT_EQ(std::vector<std::string>(err.end() - 2, err.end()),
            std::vector<std::string>({"Disconnecting...", "Disconnected"}));

  // -24000 in a ring of 48000 is 24000 samples ahead. The engine starts as if it had run for
  // 2000 periods (its receive rings full), and captures from there.
  const uint64_t start = 2000 * 48;
  for (unsigned ch = 0; ch < 2; ++ch) {
    const std::string raw = tools_test::readFile(dir.file("tx" + std::to_string(ch) + ".raw"));
    std::vector<int32_t> tx(raw.size() / 4);
    if (!tx.empty()) memcpy(tx.data(), raw.data(), tx.size() * 4);
    size_t written = 0;
    size_t first = tx.size();
    for (size_t a = 0; a < tx.size(); ++a) {
      if (tx[a] == sim::StandInEngine::kPoison) continue;
      ++written;
      if (first == tx.size()) first = a;
      ASSERT_GE(a, 24000u);
      ASSERT_EQ(tx[a], sim::StandInEngine::rxPattern(ch, start + a - 24000))
          << "ch " << ch << " at " << a;
    }
    // From its first sample on, the loopback wrote nearly every position in time.
    EXPECT_GT(written, (tx.size() - first) / 2) << first << " of " << tx.size();
  }
}

// The engine is killed (magic left set) and a new one starts under the same name: tloopback
// reports the loss once and loops the new engine's receive rings.
TEST(LoopbackProgramTest, KilledEngineIsReplacedByANewOneUnderTheSameName) {
  TempDir dir;
  const std::string name = tools_test::uniqueAreaName();
  const std::vector<std::string> engineArgs = {"--name", name, "--tx", "2", "--rx", "2"};
  ASSERT_EQ(mkdir(dir.file("first").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("second").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("tool").c_str(), 0755), 0);
  auto first = std::make_unique<ToolProcess>(TARVO_ENGINE_PATH, engineArgs, dir.file("first"));
  ASSERT_TRUE(
      tools_test::waitUntil([&] { return first->out().find("ready") != std::string::npos; }));
  ToolProcess tool(TLOOPBACK_PATH, {"-s", name}, dir.file("tool"));
  ASSERT_TRUE(tool.waitForErrLine("Activated"));
  first->signal(SIGKILL);
  EXPECT_EQ(first->wait(), 128 + SIGKILL);
  ASSERT_TRUE(tool.waitForErrLine(Tarvo::kEngineLostLine)) << tool.err();

  ToolProcess second(TARVO_ENGINE_PATH, engineArgs, dir.file("second"));
  ASSERT_TRUE(tools_test::waitUntil([&] {
    const std::vector<std::string> lines = splitLines(tool.err());
    return std::count(lines.begin(), lines.end(), "Activated") == 2;
  })) << tool.err();
  tool.signal(SIGINT);
  EXPECT_EQ(tool.wait(), 0);
  second.signal(SIGTERM);
  EXPECT_EQ(second.wait(), 0);
  const std::vector<std::string> lines = splitLines(tool.err());
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Tarvo::kEngineLostLine), 1) << tool.err();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Connected"), 2) << tool.err();
}

// An engine ending on SIGTERM clears magic before it lets its area go, so clients that still
// map it end their period loops.
TEST(LoopbackProgramTest, EngineEndingOnSigtermClearsMagic) {
  TempDir dir;
  const std::string name = tools_test::uniqueAreaName();
  ToolProcess engine(TARVO_ENGINE_PATH, {"--name", name}, dir.path());
  ASSERT_TRUE(
      tools_test::waitUntil([&] { return engine.out().find("ready") != std::string::npos; }));
  Tarvo::Buffers buffers;
  ASSERT_EQ(buffers.connect(name, false), 0);
  ASSERT_NE(buffers.getHeader()->magic, 0u);
  engine.signal(SIGTERM);
  EXPECT_EQ(engine.wait(), 0);
  EXPECT_EQ(buffers.getHeader()->magic, 0u);
}

}  // namespace
