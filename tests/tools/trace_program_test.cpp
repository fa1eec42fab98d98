#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <regex>

#include "tool_test_support.h"

namespace {

using tools_test::splitLines;
using tools_test::TempDir;
using tools_test::ToolProcess;

TEST(TraceProgramTest, VersionExitsAtOnce) {
  TempDir dir;
  ToolProcess tool(TTRACE_PATH, {"-v"}, dir.path());
  ASSERT_EQ(tool.wait(), 0);
  EXPECT_TRUE(std::regex_match(tool.out(),
                               std::regex("netaudio_examples : v1\\.2\\.0\\.rc2::[0-9a-f]{8}\n")));
  EXPECT_EQ(tool.err(), "");
}

// ttrace always uses the area "TarvoEP": the engine and ttrace run in a mount namespace of their
// own with a private /dev/shm, so no other test's area is seen. An unknown option is ignored.
TEST(TraceProgramTest, TracesTheDefaultAreaUntilSigint) {
  if (geteuid() != 0) GTEST_SKIP() << "needs a private /dev/shm (unshare --mount, as root)";
  TempDir dir;
  const std::string script = std::string("mount -t tmpfs tmpfs /dev/shm || exit 99; ") +
                             "'" TARVO_ENGINE_PATH
                             "' --name TarvoEP --periods 60000 "
                             ">/dev/null 2>&1 & echo $! > engine.pid; exec '" TTRACE_PATH "' -x";
  ToolProcess tool("/usr/bin/unshare", {"--mount", "--propagation", "private", "sh", "-c", script},
                   dir.path(), {dir.path(), -1});
  struct EngineStopper {
    const TempDir& dir;
    ~EngineStopper() {
      const int pid = atoi(tools_test::readFile(dir.file("engine.pid")).c_str());
      if (pid > 0) kill(pid, SIGTERM);
    }
  } stopper{dir};
  const std::regex timing(
      "network time in samples [0-9]+ \\([0-9.e+]+ns delta\\) monotonic counter [0-9]+ "
      "\\([0-9.e+]+ns delta\\) ratio=[0-9.e+-]+");
  ASSERT_TRUE(tools_test::waitUntil([&] {
    int count = 0;
    for (const std::string& line : splitLines(tool.err())) count += std::regex_match(line, timing);
    return count >= 3;
  })) << tool.err();
  tool.signal(SIGINT);
  ASSERT_EQ(tool.wait(), 0) << tool.err();
  EXPECT_EQ(tool.out(), "");

  const std::vector<std::string> err = splitLines(tool.err());
  auto at = std::find(err.begin(), err.end(), "Connected");
  ASSERT_NE(at, err.end());
  ASSERT_GE(err.end() - at, 9);
  EXPECT_TRUE(std::regex_match(at[1], std::regex("METADATA magic=0x[0-9a-f]+ buffer_length=[0-9]+ "
                                                 "header_length=[0-9]+ flags=0x0 "
                                                 "channel0_offset_bytes=[0-9]+/[0-9]+")))
      << at[1];
  EXPECT_TRUE(std::regex_match(at[2], std::regex("AUDIO samplerate=48000 encoding=32 "
                                                 "samples/channel=4096 bytes/channels=16384 "
                                                 "num_channels=8/8")))
      << at[2];
  EXPECT_TRUE(std::regex_match(at[3], std::regex("TIME epoch=[0-9]+\\.[0-9]+ reset_count=2 "
                                                 "samples_per_period=48 period_count=[0-9]+ "
                                                 "clock_drift_ppb=0 monotonic=[0-9]+")))
      << at[3];
  EXPECT_EQ(at[4], "-----------------------------------------");
  EXPECT_EQ(at[5], at[1]);
  EXPECT_EQ(at[6], at[2]);
  EXPECT_EQ(err.back(), "Disconnected");
  EXPECT_NE(tool.err().find("invalid option"), std::string::npos);
}

}  // namespace
