#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "fake_decoder.h"
#include "netaudio_play/Playback.h"
#include "sim/engine/StandInEngine.h"
#include "tarvo/TarvoRing.h"
#include "../tarvo/test_names.h"

namespace {

using sim::StandInEngine;

// Playback driven by hand the way the period loop drives it, against the stepped engine.
struct Rig {
  Rig(StandInEngine::Config config, FakeDecoder* fake, int lead, unsigned start, int channels,
      bool repeat)
      : engine(std::move(config)), decoder(fake) {
    engine.create();
    buffers.connect(engine.config().name, false);
    playback.reset(new Playback(buffers, lead, decoder, start, channels, repeat, running));
  }

  // Resets, then runs `periods` periods in batches of `batch`.
  void play(unsigned periods, unsigned batch = 1) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    playback->reset();
    for (unsigned done = 0; done < periods && running; done += batch) {
      engine.burst(batch);
      playback->work(batch);
    }
    engine.step(1);  // take what the last work wrote
    stdoutText = testing::internal::GetCapturedStdout();
    stderrText = testing::internal::GetCapturedStderr();
  }

  // Index of the first written sample in the capture of channel ch (-1 when none).
  long firstWritten(unsigned ch) const {
    const std::vector<int32_t>& c = engine.capture(ch);
    for (size_t i = 0; i < c.size(); ++i) {
      if (c[i] != StandInEngine::kPoison) return static_cast<long>(i);
    }
    return -1;
  }

  StandInEngine engine;
  Tarvo::Buffers buffers;
  Decoder* decoder;
  std::atomic<bool> running{true};
  std::unique_ptr<Playback> playback;
  std::string stdoutText, stderrText;
};

StandInEngine::Config areaConfig(uint32_t spc = 4096, uint32_t spp = 48, uint64_t start = 0) {
  StandInEngine::Config c;
  c.name = tarvo_test::uniqueAreaName();
  c.samplesPerChannel = spc;
  c.samplesPerPeriod = spp;
  c.startPeriodCount = start;
  return c;
}

// Frames of file channel `fileChannel` arrive in order on `ch` from the first written sample
// on; returns how many were compared.
size_t expectContiguous(const Rig& rig, unsigned ch, unsigned fileChannel, size_t maxFrames,
                        unsigned fileFrames = ~0u) {
  const std::vector<int32_t>& c = rig.engine.capture(ch);
  const long first = rig.firstWritten(ch);
  EXPECT_GE(first, 0);
  if (first < 0) return 0;
  size_t n = 0;
  for (size_t i = first; i < c.size() && n < maxFrames; ++i, ++n) {
    const int expected = FakeDecoder::sample(static_cast<unsigned>(n % fileFrames), fileChannel);
    if (c[i] != expected) {
      ADD_FAILURE() << "channel " << ch << " frame " << n << ": " << std::hex << c[i]
                    << " expected " << expected;
      break;
    }
  }
  return n;
}

TEST(Playback, ChannelMapOnEightTransmitChannels) {
  struct Case {
    unsigned start;
    int channels;
    std::vector<int> fileChannelOf;  // per tx channel: file channel or -1 (untouched)
  } cases[] = {
      {2, 0, {-1, -1, 0, 1, -1, -1, -1, -1}},   // -c 3
      {2, 1, {-1, -1, 0, -1, -1, -1, -1, -1}},  // -c 3 -n 1
      {2, 5, {-1, -1, 0, 1, -1, -1, -1, -1}},   // -c 3 -n 5: only the file's two
      {6, 0, {-1, -1, -1, -1, -1, -1, 0, 1}},   // the last two
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "start " << c.start << " n " << c.channels);
    FakeDecoder file(2, 100000);
    Rig rig(areaConfig(), &file, 48, c.start, c.channels, false);
    rig.play(50);
    EXPECT_TRUE(rig.running);
    for (unsigned ch = 0; ch < 8; ++ch) {
      if (c.fileChannelOf[ch] < 0) {
        EXPECT_EQ(rig.firstWritten(ch), -1) << "channel " << ch;
      } else {
        EXPECT_EQ(expectContiguous(rig, ch, c.fileChannelOf[ch], 100000), 50u * 48)
            << "channel " << ch;
      }
    }
  }
}

TEST(Playback, ResetChecksRateAndChannels) {
  struct Case {
    unsigned fileRate, fileChannels, start;
    int channels;
    bool keepsRunning;
    std::string stderrText;
  } cases[] = {
      {48000, 2, 0, 0, true,
       "file sample rate: 48000 netaudio sample rate: 48000\n"
       "starting channel: 1 | file channel count: 2 | total netaudio channels: 8 | "
       "user-defined channel count: 0 -> 2\n"},
      {48000, 2, 6, 3, true,
       "file sample rate: 48000 netaudio sample rate: 48000\n"
       "starting channel: 7 | file channel count: 2 | total netaudio channels: 8 | "
       "user-defined channel count: 3\n"},
      {48000, 2, 7, 0, false,
       "file sample rate: 48000 netaudio sample rate: 48000\n"
       "starting channel: 8 | file channel count: 2 | total netaudio channels: 8 | "
       "user-defined channel count: 0 -> 2\n"
       "Error: User asked for more channels than exist in netaudio, exiting...\n"},
      {44100, 2, 0, 0, false,
       "file sample rate: 44100 netaudio sample rate: 48000\n"
       "Error: Sample rate mismatch, exiting...\n"},
  };
  for (const Case& c : cases) {
    FakeDecoder file(c.fileChannels, 1000, c.fileRate);
    Rig rig(areaConfig(), &file, 48, c.start, c.channels, false);
    rig.play(3);
    EXPECT_EQ(rig.running, c.keepsRunning) << c.stderrText;
    EXPECT_EQ(rig.stderrText, c.stderrText);
    EXPECT_EQ(rig.stdoutText, "Config changed\n");
    if (!c.keepsRunning) {
      for (unsigned ch = 0; ch < 8; ++ch) EXPECT_EQ(rig.firstWritten(ch), -1);
    }
  }
}

// The stream stays contiguous across ring wraps (ring lengths that are and are not multiples
// of the period, a head resting at the ring end), batches, and period counts beyond 32 bits;
// the first sample lands `lead` samples after the position of the reset. A batch of k periods
// means the client slept through them, so its lead must cover k periods.
TEST(Playback, ContiguousAcrossWrapsAndBatches) {
  struct Case {
    uint32_t spc, spp;
    int lead;
    unsigned batch;
    uint64_t startCount;
  } cases[] = {
      {4800, 64, 64, 1, 0},        {4800, 64, 130, 1, 0},    {4800, 48, 48, 1, 0},
      {4096, 48, 150, 3, 0},       {4800, 64, 7 * 64, 7, 0}, {4800, 64, 130, 1, (1ULL << 32) + 7},
      {4800, 48, 4800 + 48, 1, 0},  // a lead of a whole ring and a period
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "spc " << c.spc << " spp " << c.spp << " lead " << c.lead
                                    << " batch " << c.batch << " start " << c.startCount);
    FakeDecoder file(2, 1000000);
    Rig rig(areaConfig(c.spc, c.spp, c.startCount), &file, c.lead, 0, 0, false);
    const unsigned periods = 3 * c.spc / c.spp + 5;
    rig.play(periods, c.batch);
    const long expectedFirst = c.lead % static_cast<long>(c.spc);
    EXPECT_EQ(rig.firstWritten(0), expectedFirst);
    const size_t frames = size_t(periods / c.batch * c.batch) * c.spp;
    EXPECT_GE(expectContiguous(rig, 0, 0, frames), frames - expectedFirst);
    EXPECT_GE(expectContiguous(rig, 1, 1, frames), frames - expectedFirst);
    EXPECT_EQ(rig.engine.lateSamplesTotal(), 0u);
  }
}

TEST(Playback, LeadShorterThanAPeriodIsLate) {
  FakeDecoder file(1, 1000000);
  Rig rig(areaConfig(4800, 64), &file, 48, 0, 0, false);
  rig.play(200);
  // Every period the engine takes 16 samples the client has not written yet.
  EXPECT_GT(rig.engine.lateSamples(0), 0u);
}

TEST(Playback, EndOfFileWithoutRepeatEndsAfterTheLastFrame) {
  FakeDecoder file(2, 1000);
  Rig rig(areaConfig(), &file, 48, 0, 0, false);
  rig.play(100);
  EXPECT_FALSE(rig.running);
  EXPECT_EQ(expectContiguous(rig, 0, 0, 1000), 1000u);
  const long first = rig.firstWritten(0);
  const std::vector<int32_t>& c = rig.engine.capture(0);
  ASSERT_GT(c.size(), size_t(first) + 1000);
  EXPECT_EQ(c[first + 1000], StandInEngine::kPoison);
  EXPECT_EQ(file.rewinds, 0u);
  testing::internal::CaptureStdout();
  rig.playback.reset();
  EXPECT_EQ(file.closes, 1u);
  testing::internal::GetCapturedStdout();
}

TEST(Playback, RepeatRestartsWithTheFirstFrame) {
  FakeDecoder file(2, 1000);
  Rig rig(areaConfig(), &file, 48, 0, 0, true);
  rig.play(200);
  EXPECT_TRUE(rig.running);
  // 200 periods of 48 = 9600 frames: the file nine times and a bit, seamless.
  EXPECT_EQ(expectContiguous(rig, 0, 0, 9600, 1000), 9600u);
  EXPECT_EQ(expectContiguous(rig, 1, 1, 9600, 1000), 9600u);
  EXPECT_GE(file.rewinds, 9u);
}

TEST(Playback, SixChannelFileIsReadInChunksThatFitTheBuffer) {
  FakeDecoder file(6, 100000);
  StandInEngine::Config config = areaConfig(8192, 1024);
  Rig rig(config, &file, 2048, 0, 0, false);
  rig.play(20, 2);
  EXPECT_EQ(file.largestRequest, 682u);  // 4092 samples
  // 20 periods of 1024 written, 2048 of them ahead of what the engine has taken.
  for (unsigned ch = 0; ch < 6; ++ch) EXPECT_GE(expectContiguous(rig, ch, ch, 20480), 18432u);
}

TEST(Playback, FileWithoutFramesEndsEvenWithRepeat) {
  FakeDecoder file(2, 0);
  Rig rig(areaConfig(), &file, 48, 0, 0, true);
  rig.play(5);
  EXPECT_FALSE(rig.running);
  EXPECT_EQ(rig.firstWritten(0), -1);
}

TEST(Playback, ReconfigurationMovesTheHeadAndTheFileGoesOn) {
  FakeDecoder file(1, 1000000);
  Rig rig(areaConfig(4800, 48), &file, 96, 0, 0, false);
  rig.play(10);
  rig.engine.changeRate(48000);
  rig.engine.burst(50);  // periods that pass while the client reconfigures
  rig.engine.clearCapture();
  rig.play(10);
  // The second reset puts the head `lead` after the new position; the file continues at frame
  // 480 (10 periods of 48 were taken before).
  EXPECT_EQ(rig.firstWritten(0), 96);
  EXPECT_EQ(rig.engine.capture(0)[96], FakeDecoder::sample(480, 0));
}

TEST(RingArithmetic, PositionsAndSplits) {
  struct Case {
    uint64_t count;
    uint32_t spp, spc;
    int64_t lead;
    uint32_t expected;
  } cases[] = {
      {0, 48, 4096, 48, 48},
      {100, 48, 4800, 0, 0},
      {(1ULL << 32) + 7, 64, 4800, 0, static_cast<uint32_t>(((1ULL << 32) + 7) * 64 % 4800)},
      {10, 48, 4800, -500, 4780},  // behind the position, wrapped back
      {0, 48, 4800, -4801, 4799},
      {5, 48, 0, 48, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Tarvo::ringPosition(c.count, c.spp, c.spc, c.lead), c.expected)
        << c.count << " " << c.lead;
  }
  struct SplitCase {
    uint32_t head, count, spc, first, second;
  } splits[] = {
      {0, 48, 4800, 48, 0},
      {4790, 48, 4800, 10, 38},
      {4800, 48, 4800, 0, 48},
      {4752, 48, 4800, 48, 0},
  };
  for (const SplitCase& s : splits) {
    Tarvo::RingSplit r = Tarvo::splitAtRingEnd(s.head, s.count, s.spc);
    EXPECT_EQ(r.first, s.first) << s.head;
    EXPECT_EQ(r.second, s.second) << s.head;
  }
}

}  // namespace
