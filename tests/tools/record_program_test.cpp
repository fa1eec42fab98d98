#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <regex>

#include "sim/engine/StandInEngine.h"
#include "tarvo/TarvoConnectionLoop.h"
#include "tool_test_support.h"
#include "wav_check.h"

namespace {

using tools_test::expectedPatternFrames;
using tools_test::expectedWavHeader;
using tools_test::readFile;
using tools_test::soxInfo;
using tools_test::splitLines;
using tools_test::TempDir;
using tools_test::ToolProcess;

const std::vector<std::string> kUsage = {
    "Usage:",
    "\t-h Show help",
    "\t-l Loopback Tx Latency (# samples) - default is 480",
    "\t-s Shared memory name to use - default is TarvoEP",
    "\t-o output file name prefix - default is sound.wav",
    "\t-v Print out version",
};

uint32_t le32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
  return v;
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

TEST(RecordProgramTest, RefusedOptionsPrintUsageAndVersionExitsAtOnce) {
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {{"-h"}, 1}, {{"-x"}, 1}, {{"-l", "100", "-h"}, 1}, {{"-v"}, 0}, {{"-v", "-h"}, 0}};
  for (const Case& c : cases) {
    TempDir dir;
    ToolProcess tool(TRECORD_PATH, c.args, dir.path(), {dir.path(), -1});
    ASSERT_EQ(tool.wait(), c.status) << c.args[0];
    if (c.status == 1) {
      EXPECT_EQ(splitLines(tool.out()), kUsage);
    } else {
      EXPECT_TRUE(std::regex_match(
          tool.out(), std::regex("netaudio_examples : v1\\.2\\.0\\.rc2::[0-9a-f]{8}\n")));
    }
    EXPECT_EQ(tool.err().find("Connecting..."), std::string::npos);
    EXPECT_FALSE(exists(dir.file("sound.wav")));
  }
}

TEST(RecordProgramTest, InterruptedBeforeTheEngineIsReachableLeavesNoFile) {
  TempDir dir;
  ToolProcess tool(TRECORD_PATH, {"-s", tools_test::uniqueAreaName(), "-l", "100"}, dir.path(),
                   {dir.path(), -1});
  ASSERT_TRUE(tool.waitForErrLine("Trying to connect again..."));
  tool.signal(SIGINT);
  EXPECT_EQ(tool.wait(), 0);
  EXPECT_FALSE(exists(dir.file("sound.wav")));
  EXPECT_EQ(splitLines(tool.out())[1], "Using 100 samples as Tx Latency");
}

// A recording against the real-time engine, with the checks every ending shares: a header
// that matches the bytes on disk, whole frames, consecutive receive samples, and sox reading it.
// The receive rings hold a second, so a recorder held up by a busy machine loses nothing, and the
// engine starts as if it had run for two seconds, so that every slot of them holds a sample.
class LiveRecording {
 public:
  explicit LiveRecording(std::vector<std::string> extraArgs = {}, long fileSizeLimit = -1)
      : name(tools_test::uniqueAreaName()) {
    mkdir(dir.file("engine").c_str(), 0755);
    mkdir(dir.file("tool").c_str(), 0755);
    engine.reset(new ToolProcess(TARVO_ENGINE_PATH,
                                 {"--name", name, "--tx", "1", "--rx", "2", "--spc", "48000",
                                  "--spp", "48", "--max-channels", "4", "--start-count", "2000"},
                                 dir.file("engine")));
    tools_test::waitUntil([&] { return engine->out().find("ready") != std::string::npos; });
    std::vector<std::string> args{"-s", name};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    tool.reset(
        new ToolProcess(TRECORD_PATH, args, dir.file("tool"), {dir.file("tool"), fileSizeLimit}));
    path = dir.file("tool/sound.wav");
  }

  ~LiveRecording() {
    tool.reset();
    engine->signal(SIGTERM);
    engine->wait();
  }

  bool recordedAtLeast(size_t bytes) {
    return tools_test::waitUntil([&] { return readFile(path).size() >= bytes; });
  }

  // Checks the file; returns its frame count.
  uint64_t checkFile(unsigned channels = 2, unsigned bits = 32) {
    const std::string file = readFile(path);
    EXPECT_GE(file.size(), 44u);
    if (file.size() < 44) return 0;
    const uint64_t block = channels * bits / 8;
    const uint64_t data = le32(file, 40);
    EXPECT_EQ(file.substr(0, 44), expectedWavHeader(channels, bits, 48000, data));
    EXPECT_EQ(data % block, 0u);
    const uint64_t frames = data / block;
    if (frames == 0) return 0;
    uint32_t first = 0;
    memcpy(&first, file.data() + 44, 4);
    const uint64_t a0 = first & 0x07FFFFFF;
    EXPECT_TRUE(file.substr(44, data) == expectedPatternFrames(channels, bits, a0, frames));
    EXPECT_EQ(soxInfo(path, "-s"), std::to_string(frames));
    EXPECT_EQ(soxInfo(path, "-c"), std::to_string(channels));
    return frames;
  }

  TempDir dir;
  std::string name;
  std::unique_ptr<ToolProcess> engine;
  std::unique_ptr<ToolProcess> tool;
  std::string path;
};

TEST(RecordProgramTest, SigintAndSigtermCompleteTheFile) {
  for (int sig : {SIGINT, SIGTERM}) {
    LiveRecording r;
    ASSERT_TRUE(r.recordedAtLeast(44 + 8 * 4800));
    r.tool->signal(sig);
    EXPECT_EQ(r.tool->wait(), 0);
    const uint64_t frames = r.checkFile();
    EXPECT_EQ(readFile(r.path).size(), 44 + frames * 8);
    EXPECT_GE(frames, 4800u);
    const std::vector<std::string> out = splitLines(r.tool->out());
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2], "Encoder closed.  Audio saved to 'sound.wav'.");
    const std::vector<std::string> err = splitLines(r.tool->err());
    ASSERT_GE(err.size(), 5u);
    EXPECT_EQ(err[0], "Connecting...");
    EXPECT_EQ(err[1], "Connected");
    EXPECT_EQ(err.back(), "Disconnected");
  }
}

// Killed outright after more than a second of audio: the header written so far still describes
// whole frames that are on disk, and the file plays.
TEST(RecordProgramTest, KilledRecordingIsStillAPlayableFile) {
  LiveRecording r;
  ASSERT_TRUE(r.recordedAtLeast(44 + 8 * 48000 * 3 / 2));
  r.tool->signal(SIGKILL);
  r.tool->wait();
  const std::string file = readFile(r.path);
  const uint64_t frames = r.checkFile();
  EXPECT_GE(frames, 48000u);
  EXPECT_LE(44 + frames * 8, file.size());
}

// A change of the layout the file describes, or a new engine in place of the old one (with the
// same layout), stops the recording with a complete file. No period of the new layout reaches
// the file: checkFile finds the receive pattern consecutive up to the last frame.
TEST(RecordProgramTest, EngineLayoutChangesAndANewEngineStopTheRecording) {
  for (const char* command :
       {"channels 1 4", "channels 4 1", "rate 44100", "period 64", "recreate 300"}) {
    SCOPED_TRACE(command);
    LiveRecording r;
    ASSERT_TRUE(r.recordedAtLeast(44 + 8 * 2000));
    r.engine->send(command);
    EXPECT_EQ(r.tool->wait(), 0) << command;
    const std::vector<std::string> out = splitLines(r.tool->out());
    ASSERT_EQ(out.size(), 4u) << r.tool->out();
    EXPECT_EQ(out[2], "Stopping recording because changes were made to netaudio config");
    EXPECT_EQ(out[3], "Encoder closed.  Audio saved to 'sound.wav'.");
    EXPECT_GE(r.checkFile(), 2000u);
  }
}

// An engine that stalls for longer than the lost-engine second is recorded on into the same
// file, its frames consecutive. One line says the engine went, one that it is back.
TEST(RecordProgramTest, EngineThatComesBackAfterAStallIsRecordedOn) {
  {
    LiveRecording r;
    ASSERT_TRUE(r.recordedAtLeast(44 + 8 * 2000));
    r.engine->send("stall 1500");
    ASSERT_TRUE(tools_test::waitUntil([&] {
      std::string err = r.tool->err();
      return err.find("Connected\n") != err.rfind("Connected\n");
    }));
    const size_t before = readFile(r.path).size();
    ASSERT_TRUE(r.recordedAtLeast(before + 8 * 4800));
    r.tool->signal(SIGINT);
    EXPECT_EQ(r.tool->wait(), 0);
    const std::vector<std::string> out = splitLines(r.tool->out());
    ASSERT_EQ(out.size(), 3u) << r.tool->out();
    EXPECT_EQ(out[2], "Encoder closed.  Audio saved to 'sound.wav'.");
    // Said once when the engine went and once when it was back; quiet in between.
    const std::vector<std::string> err = splitLines(r.tool->err());
    EXPECT_EQ(std::count(err.begin(), err.end(), "Connecting..."), 1) << r.tool->err();
    EXPECT_EQ(std::count(err.begin(), err.end(), "Connected"), 2) << r.tool->err();
    EXPECT_EQ(std::count(err.begin(), err.end(), "Disconnected"), 2) << r.tool->err();
    EXPECT_GE(r.checkFile(), 6800u);
  }
}

// An engine that shuts down cleanly (magic 0, names removed, no last period) is reported as a
// closed area, not as an engine that was lost a second later.
TEST(RecordProgramTest, CleanEngineShutdownIsReportedAsAClosedArea) {
  LiveRecording r;
  ASSERT_TRUE(r.recordedAtLeast(44 + 8 * 2000));
  const auto stopped = std::chrono::steady_clock::now();
  r.engine->signal(SIGTERM);
  ASSERT_TRUE(r.tool->waitForErrLine(Tarvo::kAreaClosedLine)) << r.tool->err();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - stopped);
  std::printf("closed area reported %lld ms after SIGTERM to the engine\n",
              static_cast<long long>(ms.count()));
  r.tool->signal(SIGINT);
  EXPECT_EQ(r.tool->wait(), 0);
  const std::string err = r.tool->err();
  EXPECT_EQ(err.find(Tarvo::kEngineLostLine), std::string::npos) << err;
  EXPECT_GE(r.checkFile(), 2000u);
}

TEST(RecordProgramTest, UnwritableOutputIsReportedWithoutAFile) {
  LiveRecording r({"-o", "missing/out.wav"});
  EXPECT_EQ(r.tool->wait(), 0);
  EXPECT_TRUE(r.tool->waitForErrLine("Error opening for output!", 1));
  EXPECT_EQ(splitLines(r.tool->out()).size(), 2u);
  EXPECT_FALSE(exists(r.dir.file("tool/missing")));
}

// A file-size limit makes a write fail part-way through a frame: the error line, no "saved"
// line, exit status 1, and a header describing exactly the whole frames left on disk.
TEST(RecordProgramTest, WriteErrorEndsWithStatusOneAndAMatchingHeader) {
  LiveRecording r({}, 44 + 8 * 3000 + 5);
  EXPECT_EQ(r.tool->wait(), 1);
  EXPECT_TRUE(r.tool->waitForErrLine("Error writing output!", 1));
  EXPECT_EQ(r.tool->out().find("Audio saved"), std::string::npos);
  EXPECT_EQ(r.checkFile(), 3000u);
  EXPECT_EQ(readFile(r.path).size(), 44u + 8 * 3000);
}

}  // namespace
