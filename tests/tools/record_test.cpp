#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <memory>

#include "netaudio_record/Recorder.h"
#include "netaudio_record/WavFile.h"
#include "sim/engine/StandInEngine.h"
#include "tool_test_support.h"
#include "wav_check.h"

namespace {

using sim::StandInEngine;
using tools_test::expectedPatternFrames;
using tools_test::expectedWavHeader;
using tools_test::readFile;
using tools_test::soxInfo;

uint32_t le32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
  return v;
}

// One recording against the in-process engine, driven period by period.
class RecordingFixture {
 public:
  RecordingFixture(uint32_t rxChannels, uint32_t encoding, uint32_t spc = 1000, uint32_t spp = 48,
                   uint64_t startCount = 0) {
    config.name = tools_test::uniqueAreaName();
    config.rxChannels = rxChannels;
    config.txChannels = 1;
    config.maxChannels = 8;
    config.encoding = encoding;
    config.samplesPerChannel = spc;
    config.samplesPerPeriod = spp;
    config.startPeriodCount = startCount;
    engine.reset(new StandInEngine(config));
    path = dir.file("out.wav");
  }

  // Connects and makes the recorder's first reset (the file opens).
  void start() {
    ASSERT_EQ(engine->create(), 0);
    ASSERT_EQ(buffers.connect(config.name, false), 0);
    ASSERT_TRUE(buffers.refresh());
    recorder.reset(new Recorder(buffers, 480, path, running));
    recorder->reset();
  }

  void periods(unsigned n, bool asOneBatch = false) {
    if (asOneBatch) {
      engine->burst(n);
    } else {
      engine->step(n);
    }
    recorder->work(n);
  }

  uint64_t firstSample() const { return config.startPeriodCount * config.samplesPerPeriod; }

  tools_test::TempDir dir;
  StandInEngine::Config config;
  std::unique_ptr<StandInEngine> engine;
  Tarvo::Buffers buffers;
  std::atomic<bool> running{true};
  std::unique_ptr<Recorder> recorder;
  std::string path;
};

// Header and frame layout for every encoding and a few channel counts: the exact 44 header
// bytes, the low bytes of each ring sample least significant first, frames contiguous across
// ring wraps, and sox reading the file as written.
TEST(RecorderTest, FileHoldsTheExactHeaderAndTheLowBytesOfEveryReceiveSample) {
  for (uint32_t bits : {16u, 24u, 32u}) {
    for (uint32_t channels : {1u, 2u, 8u}) {
      RecordingFixture f(channels, bits);
      f.start();
      for (int i = 0; i < 50; ++i) f.periods(1);  // 2400 frames: two wraps of a 1000 ring
      testing::internal::CaptureStdout();
      f.recorder->close_encoders();
      EXPECT_EQ(testing::internal::GetCapturedStdout(),
                "Encoder closed.  Audio saved to '" + f.path + "'.\n");
      EXPECT_FALSE(f.recorder->failed());

      const uint64_t frames = 2400;
      const uint64_t data = frames * channels * bits / 8;
      const std::string file = readFile(f.path);
      ASSERT_EQ(file.size(), 44 + data) << bits << " bits, " << channels << " ch";
      EXPECT_EQ(file.substr(0, 44), expectedWavHeader(channels, bits, 48000, data));
      EXPECT_TRUE(file.substr(44) == expectedPatternFrames(channels, bits, 0, frames))
          << bits << " bits, " << channels << " ch";
      EXPECT_EQ(soxInfo(f.path, "-c"), std::to_string(channels));
      EXPECT_EQ(soxInfo(f.path, "-r"), "48000");
      EXPECT_EQ(soxInfo(f.path, "-b"), std::to_string(bits));
      EXPECT_EQ(soxInfo(f.path, "-s"), std::to_string(frames));
    }
  }
}

TEST(RecorderTest, KnownSizesAndRates) {
  {
    // 100 frames, 2 channels of 16 bits: data 400, RIFF 436, file 444 bytes.
    RecordingFixture f(2, 16, 1000, 50);
    f.start();
    f.periods(2);
    f.recorder->close_encoders();
    const std::string file = readFile(f.path);
    EXPECT_EQ(file.size(), 444u);
    EXPECT_EQ(le32(file, 4), 436u);
    EXPECT_EQ(le32(file, 40), 400u);
  }
  {
    // 8 channels of 24 bits at 48 kHz: byte rate 1,152,000, block 24.
    wav_info info{8, 24, 48000, 0};
    const auto h = wav_header_bytes(info);
    const std::string header(h.begin(), h.end());
    EXPECT_EQ(le32(header, 28), 1152000u);
    EXPECT_EQ(static_cast<uint8_t>(header[32]), 24u);
    EXPECT_EQ(static_cast<uint8_t>(header[33]), 0u);
  }
}

// Sizes past 2^32 bits of data (where 32-bit products wrap) stay exact; past the RIFF limit
// the data size is cut to the whole frames that fit, never wrapped to something small.
TEST(RecorderTest, HeaderSizesDoNotWrap) {
  struct Case {
    wav_info info;
    uint64_t data;
  };
  const Case cases[] = {
      {{8, 32, 48000, 20000000}, 640000000},  // 640 MB
      {{64, 32, 48000, 3000000}, 768000000},
      {{8, 32, 48000, 0xFFFFFFFFu}, 4294967232},  // cut: 0xFFFFFFFF - 36 rounded to 32
      {{3, 24, 44100, 0x80000000u}, 4294967256},  // cut to a multiple of 9
  };
  for (const Case& c : cases) {
    const auto h = wav_header_bytes(c.info);
    const std::string header(h.begin(), h.end());
    EXPECT_EQ(header, expectedWavHeader(c.info.channel_count, c.info.bits_per_sample,
                                        c.info.sample_rate, c.data));
  }
}

TEST(RecorderTest, SingleFrameWriterMatchesTheStretchLayout) {
  tools_test::TempDir dir;
  const int32_t samples[3] = {0x11223344, -2, 0x7F00FF01};
  for (uint16_t bits : {16, 24, 32}) {
    wav_info info{3, bits, 48000, 0};
    const std::string path = dir.file("frame.bin");
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(write_sample(&info, file, samples), 0);
    fclose(file);
    const int32_t* rings[3] = {&samples[0], &samples[1], &samples[2]};
    std::string packed(3 * bits / 8, '\0');
    pack_frames(info, rings, 0, 1, reinterpret_cast<uint8_t*>(&packed[0]));
    EXPECT_EQ(readFile(path), packed);
  }
  // 32 bits: all four bytes, least significant first.
  wav_info info{3, 32, 48000, 0};
  const int32_t* rings[3] = {&samples[0], &samples[1], &samples[2]};
  std::string packed(12, '\0');
  pack_frames(info, rings, 0, 1, reinterpret_cast<uint8_t*>(&packed[0]));
  EXPECT_EQ(packed, std::string("\x44\x33\x22\x11\xfe\xff\xff\xff\x01\xff\x00\x7f", 12));
}

// Batches of many periods, wraps at every point of a ring that is not a power of two, and a
// start count beyond 32 bits: the frames are the consecutive receive samples, none lost or
// doubled.
TEST(RecorderTest, FramesAreContiguousAcrossWrapsAndBatches) {
  RecordingFixture f(2, 32, 1000, 48, (uint64_t{1} << 32) + 7);
  f.start();
  uint64_t frames = 0;
  const unsigned batches[] = {1, 7, 20, 3, 13, 1, 19, 2, 20, 5, 11};
  for (int round = 0; round < 3; ++round) {
    for (unsigned n : batches) {
      f.periods(n, true);
      frames += n * 48;
    }
  }
  f.recorder->close_encoders();
  const std::string file = readFile(f.path);
  ASSERT_EQ(file.size(), 44 + frames * 8);
  EXPECT_TRUE(file.substr(44) == expectedPatternFrames(2, 32, f.firstSample(), frames));
}

TEST(RecorderTest, HeaderIsValidFromTheStartAndRefreshedEverySecondOfAudio) {
  RecordingFixture f(2, 16, 4800, 480);
  f.config.samplerate = 48000;
  f.start();
  std::string file = readFile(f.path);
  EXPECT_EQ(file, expectedWavHeader(2, 16, 48000, 0));  // nothing recorded yet
  for (int i = 0; i < 99; ++i) f.periods(1);            // 0.99 s
  EXPECT_EQ(readFile(f.path).substr(0, 44), expectedWavHeader(2, 16, 48000, 0));
  f.periods(1);  // 1 s
  file = readFile(f.path);
  EXPECT_EQ(file.size(), 44u + 48000 * 4);
  EXPECT_EQ(file.substr(0, 44), expectedWavHeader(2, 16, 48000, 48000 * 4));
  f.periods(10);  // the file grows on after the refresh
  EXPECT_EQ(readFile(f.path).size(), 44u + 52800 * 4);
  f.recorder->close_encoders();
  EXPECT_EQ(readFile(f.path).substr(0, 44), expectedWavHeader(2, 16, 48000, 52800 * 4));
}

// A reset after a reconfiguration or from a new engine while recording stops the program, also
// when the layout stayed the same; the file holds what was recorded before it.
TEST(RecorderTest, ResetAfterAReconfigurationOrANewEngineStopsAndTheFileIsCompleted) {
  struct Case {
    const char* what;
    void (*change)(RecordingFixture&);
  } cases[] = {
      {"receive channels", [](RecordingFixture& f) { f.engine->changeChannels(1, 4); }},
      {"rate", [](RecordingFixture& f) { f.engine->changeRate(44100); }},
      {"encoding",
       [](RecordingFixture& f) {
         f.engine->reconfigure([](Tarvo::buffer_header& h) { h.encoding = 16; });
       }},
      {"reconfigured in place", [](RecordingFixture& f) { f.engine->reconfigure(nullptr); }},
      {"new engine, same layout and counts",
       [](RecordingFixture& f) {
         f.engine->abandon();
         f.engine.reset(new StandInEngine(f.config));
         ASSERT_EQ(f.engine->create(), 0);
         f.engine->step(30);
         f.buffers.disconnect();
         ASSERT_EQ(f.buffers.connect(f.config.name, false), 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingFixture f(2, 24);
    f.start();
    for (int i = 0; i < 30; ++i) f.periods(1);
    c.change(f);
    ASSERT_TRUE(f.buffers.refresh());
    testing::internal::CaptureStdout();
    f.recorder->reset();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Stopping recording because changes were made to netaudio config\n");
    EXPECT_FALSE(f.running);
    f.recorder->close_encoders();
    const std::string file = readFile(f.path);
    EXPECT_EQ(file.substr(0, 44), expectedWavHeader(2, 24, 48000, 30 * 48 * 6));
    EXPECT_TRUE(file.substr(44) == expectedPatternFrames(2, 24, 0, 30 * 48));
    EXPECT_FALSE(f.recorder->failed());
  }
}

// The same engine coming back after a stall (a reconnection to the same area, the reset count
// unchanged) is recorded on into the same file: the periods it moved on by meanwhile are written
// as late periods, so the frames stay consecutive; a gap beyond the ring keeps what the ring
// still holds.
TEST(RecorderTest, ResetOfTheSameEngineRecordsOn) {
  struct Case {
    const char* what;
    unsigned gapPeriods;  // periods the engine moves on by before the reset
    uint64_t lostFrames;
  } cases[] = {
      {"stall, nothing missed", 0, 0},
      {"reconnected 12 periods later", 12, 0},
      {"gap longer than the ring", 30, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingFixture f(2, 32, 1000, 48);
    f.start();
    for (int i = 0; i < 10; ++i) f.periods(1);
    f.recorder->cleanup();  // the end of a period loop
    f.engine->step(c.gapPeriods);
    f.buffers.disconnect();
    ASSERT_EQ(f.buffers.connect(f.config.name, false), 0);
    ASSERT_TRUE(f.buffers.refresh());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f.recorder->reset();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(f.running);
    for (int i = 0; i < 10; ++i) f.periods(1);
    f.recorder->close_encoders();
    const uint64_t all = (20 + c.gapPeriods) * 48;
    const std::string file = readFile(f.path);
    EXPECT_EQ(file.substr(0, 44), expectedWavHeader(2, 32, 48000, (all - c.lostFrames) * 8));
    if (c.lostFrames == 0) {
      EXPECT_TRUE(file.substr(44) == expectedPatternFrames(2, 32, 0, all));
    } else {
      // 480 frames, then the ring's worth of the gap that is left, then the rest.
      const uint64_t gap = c.gapPeriods * 48;
      EXPECT_TRUE(file.substr(44) ==
                  expectedPatternFrames(2, 32, 0, 480) +
                      expectedPatternFrames(2, 32, 480 + c.lostFrames, gap - c.lostFrames + 480));
    }
  }
}

TEST(RecorderTest, StopsCleanlyAtTheDataSizeLimit) {
  RecordingFixture f(2, 16);
  f.start();
  f.recorder->setDataLimitBytes(1002);  // 250 whole frames of 4 bytes
  testing::internal::CaptureStdout();
  for (int i = 0; i < 10; ++i) f.periods(1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Stopping recording because the WAV size limit was reached\n");
  EXPECT_FALSE(f.running);
  f.recorder->close_encoders();
  const std::string file = readFile(f.path);
  EXPECT_EQ(file.substr(0, 44), expectedWavHeader(2, 16, 48000, 1000));
  EXPECT_TRUE(file.substr(44) == expectedPatternFrames(2, 16, 0, 250));
  EXPECT_FALSE(f.recorder->failed());
}

// Falling behind by more than a ring keeps the most recent remainder and says how much was lost.
TEST(RecorderTest, FallingBehindByMoreThanTheRingIsReported) {
  RecordingFixture f(1, 32, 1000, 100);
  f.start();
  f.periods(3, true);
  testing::internal::CaptureStderr();
  f.periods(25, true);  // 2500 samples: 2000 lost, the last 500 kept
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Recording fell behind by more than the ring: 2000 frames lost\n");
  f.periods(2, true);
  f.recorder->close_encoders();
  const std::string file = readFile(f.path);
  EXPECT_TRUE(file.substr(44) ==
              expectedPatternFrames(1, 32, 0, 300) + expectedPatternFrames(1, 32, 2300, 500 + 200));
}

TEST(RecorderTest, LayoutsAWavFileCannotHoldAreRefusedWithoutAFile) {
  struct Case {
    uint32_t channels;
    uint32_t encoding;
    const char* line;
  };
  const Case cases[] = {
      {2, 8, "Cannot record 2 receive channels of encoding 8 into a WAV file\n"},
      {2, 0, "Cannot record 2 receive channels of encoding 0 into a WAV file\n"},
      {2, 64, "Cannot record 2 receive channels of encoding 64 into a WAV file\n"},
      {0, 32, "Cannot record 0 receive channels of encoding 32 into a WAV file\n"},
  };
  for (const Case& c : cases) {
    RecordingFixture f(c.channels, c.encoding);
    testing::internal::CaptureStderr();
    f.start();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
    EXPECT_FALSE(f.running);
    EXPECT_TRUE(f.recorder->failed());
    f.periods(2);
    f.recorder->close_encoders();
    struct stat st;
    EXPECT_NE(stat(f.path.c_str(), &st), 0) << c.line;
  }
}

TEST(RecorderTest, UnopenableOutputStopsWithoutAFile) {
  RecordingFixture f(2, 32);
  f.path = f.dir.file("missing/out.wav");
  testing::internal::CaptureStderr();
  f.start();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error opening for output!\n");
  EXPECT_FALSE(f.running);
  EXPECT_FALSE(f.recorder->failed());  // exit status 0, as for any normal end
  testing::internal::CaptureStdout();
  f.recorder->close_encoders();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
