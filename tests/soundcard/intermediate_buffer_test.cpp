// The intermediate buffer on its own: sample conversions, the ALSA side's copies and the
// network side's batches against a set of fake rings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "netaudio_soundcard/src/tsoundcard_intermediatebuffer.h"

namespace {

using tsoundcard::floatToRing;
using tsoundcard::ringToFloat;
using tsoundcard::ringToS16;
using tsoundcard::s16ToRing;

constexpr int32_t kPoison = 0x7FFFFF5A;

// Rings of `length` samples per channel, as the engine's area lays them out.
struct FakeRings {
  FakeRings(unsigned channels, unsigned length, int32_t fill = 0)
      : rings(channels, std::vector<int32_t>(length, fill)) {
    for (auto& r : rings) {
      tx.push_back(r.data());
      rx.push_back(r.data());
    }
  }
  std::vector<std::vector<int32_t>> rings;
  std::vector<int*> tx;
  std::vector<const int*> rx;
};

class IntermediateBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IntermediateBuffer::bufferFullLogState = false;
    IntermediateBuffer::bufferEmptyLogState = false;
  }

  // Runs fn with stderr captured and returns what it wrote.
  template <typename Fn>
  static std::string stderrOf(Fn fn) {
    ::testing::internal::CaptureStderr();
    fn();
    return ::testing::internal::GetCapturedStderr();
  }
};

TEST(SampleConversion, ExtremesBothWays) {
  struct {
    int32_t ring;
    int16_t s16;
  } ringToS16Cases[] = {
      {-65536, -1}, {INT32_MIN, -32768},  {INT32_MAX, 32767}, {65535, 0},
      {-1, -1},     {0x12345678, 0x1234},
  };
  for (auto& c : ringToS16Cases) EXPECT_EQ(ringToS16(c.ring), c.s16) << c.ring;

  struct {
    int16_t s16;
    int32_t ring;
  } s16ToRingCases[] = {
      {-32768, INT32_MIN}, {32767, 0x7FFF0000}, {-1, -65536}, {0, 0}, {1, 65536},
  };
  for (auto& c : s16ToRingCases) EXPECT_EQ(s16ToRing(c.s16), c.ring) << c.s16;

  struct {
    int32_t ring;
    float value;
  } ringToFloatCases[] = {
      {INT32_MAX, 1.0f},
      {INT32_MIN, float(INT32_MIN / 2147483647.0)},
      {0, 0.0f},
      {1073741824, float(1073741824 / 2147483647.0)},
  };
  for (auto& c : ringToFloatCases) EXPECT_EQ(ringToFloat(c.ring), c.value) << c.ring;

  const float inf = std::numeric_limits<float>::infinity();
  struct {
    float value;
    int32_t ring;
  } floatToRingCases[] = {
      {0.5f, 1073741824},
      {-1.0f, INT32_MIN},
      {1.0f, INT32_MAX},
      {-0.5f, -1073741824},
      {0.0f, 0},
      {2.0f, INT32_MAX},
      {-3.0f, INT32_MIN},
      {std::nanf(""), 0},
      {inf, INT32_MAX},
      {-inf, INT32_MIN},
      // Truncation toward zero of the scaled value.
      {1.7e-9f, 3},
      {-1.7e-9f, -3},
  };
  for (auto& c : floatToRingCases) EXPECT_EQ(floatToRing(c.value), c.ring) << c.value;
}

// Each format both ways through the buffer: ring -> buffer -> application bytes (capture) and
// application bytes -> buffer -> ring (playback).
TEST_F(IntermediateBufferTest, EachFormatConvertsBothWaysThroughTheBuffer) {
  const std::vector<int32_t> ring = {INT32_MIN, -65536, -1, 0, 1, 65536, 0x40000000, INT32_MAX};
  struct Case {
    snd_pcm_format_t format;
    ssize_t width;
  } cases[] = {
      {SND_PCM_FORMAT_S16_LE, 2}, {SND_PCM_FORMAT_S32_LE, 4}, {SND_PCM_FORMAT_FLOAT_LE, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(snd_pcm_format_name(c.format));
    const unsigned frames = unsigned(ring.size());

    // Capture: one channel, the ring values in order.
    IntermediateBuffer capture(1, frames, SND_PCM_STREAM_CAPTURE, 48000);
    FakeRings rx(1, frames);
    rx.rings[0] = ring;
    unsigned rxHead = 0;
    ASSERT_EQ(capture.writeNetaudioSamples(c.format, frames, rx.rx, 1, rxHead, frames), frames);
    std::vector<uint8_t> bytes(frames * c.width);
    ASSERT_EQ(capture.readAlsaSamples(bytes.data(), frames, c.width), frames);
    for (unsigned i = 0; i < frames; ++i) {
      if (c.format == SND_PCM_FORMAT_S16_LE) {
        int16_t v;
        memcpy(&v, &bytes[i * 2], 2);
        EXPECT_EQ(v, ringToS16(ring[i]));
      } else if (c.format == SND_PCM_FORMAT_S32_LE) {
        int32_t v;
        memcpy(&v, &bytes[i * 4], 4);
        EXPECT_EQ(v, ring[i]);
      } else {
        float v;
        memcpy(&v, &bytes[i * 4], 4);
        EXPECT_EQ(v, ringToFloat(ring[i]));
      }
    }

    // Playback: the same bytes back to a ring. S32 is the identity; S16 keeps the upper 16
    // bits; FLOAT loses precision of the single-precision mantissa but keeps the extremes.
    IntermediateBuffer playback(1, frames, SND_PCM_STREAM_PLAYBACK, 48000);
    ASSERT_EQ(playback.writeAlsaSamples(bytes.data(), frames, c.width), frames);
    FakeRings tx(1, frames, kPoison);
    unsigned txHead = 0;
    ASSERT_EQ(playback.readNetaudioSamples(c.format, frames, tx.tx, 1, txHead, frames), frames);
    for (unsigned i = 0; i < frames; ++i) {
      int32_t expected = ring[i];
      if (c.format == SND_PCM_FORMAT_S16_LE) expected = int32_t(uint32_t(ring[i]) & 0xFFFF0000u);
      if (c.format == SND_PCM_FORMAT_FLOAT_LE) expected = floatToRing(ringToFloat(ring[i]));
      EXPECT_EQ(tx.rings[0][i], expected) << i;
    }
    EXPECT_EQ(tx.rings[0].front(), INT32_MIN);
    EXPECT_EQ(tx.rings[0].back(), c.format == SND_PCM_FORMAT_S16_LE ? 0x7FFF0000 : INT32_MAX);
  }
}

TEST_F(IntermediateBufferTest, AlsaSideMovesWhatFitsOrWhatIsHeld) {
  // 2 channels x 8 frames = 16 samples; S32 values numbered from 1.
  std::vector<int32_t> src(32);
  for (size_t i = 0; i < src.size(); ++i) src[i] = int32_t(i + 1);
  struct Case {
    const char* what;
    uint32_t prefill;  // written first
    uint32_t drain;    // then read
    uint32_t write;    // offered
    uint32_t accepted;
    unsigned writeHead;
  } cases[] = {
      {"empty, fits", 0, 0, 10, 10, 10},
      {"more than free accepts exactly the free space", 10, 0, 10, 6, 0},
      {"full accepts nothing", 16, 0, 4, 0, 0},
      {"wrapping write splits at the end", 12, 12, 8, 8, 4},
      {"full after wrap", 12, 12, 16, 16, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    IntermediateBuffer buffer(2, 8, SND_PCM_STREAM_PLAYBACK, 48000);
    ASSERT_EQ(buffer.getCapacity(), 16u);
    std::vector<int32_t> sink(32);
    ASSERT_EQ(buffer.writeAlsaSamples(src.data(), c.prefill, 4), c.prefill);
    ASSERT_EQ(buffer.readAlsaSamples(sink.data(), c.drain, 4), c.drain);
    EXPECT_EQ(buffer.writeAlsaSamples(src.data() + 16, c.write, 4), c.accepted);
    EXPECT_EQ(buffer.getWriteHead(), c.writeHead);
    EXPECT_EQ(buffer.getNumSamplesInBuffer(), c.prefill - c.drain + c.accepted);
    EXPECT_EQ(buffer.getAvailableSpaceInSamplesInBuffer(), 16 - (c.prefill - c.drain + c.accepted));

    // Reading everything back gives the unread prefill, then the accepted samples, in order.
    std::vector<int32_t> expected(src.begin() + c.drain, src.begin() + c.prefill);
    expected.insert(expected.end(), src.begin() + 16, src.begin() + 16 + c.accepted);
    std::vector<int32_t> out(32, -7);
    ASSERT_EQ(buffer.readAlsaSamples(out.data(), 32, 4), expected.size());
    out.resize(expected.size());
    EXPECT_EQ(out, expected);
    EXPECT_EQ(buffer.getNumSamplesInBuffer(), 0u);
    EXPECT_EQ(buffer.getReadHead(), buffer.getWriteHead());
  }
}

TEST_F(IntermediateBufferTest, AlsaSideRefusesWidthsTheBlockCannotHold) {
  IntermediateBuffer buffer(2, 8, SND_PCM_STREAM_PLAYBACK, 48000);
  int32_t src[16] = {};
  for (ssize_t width : {0, 1, 3, 8, -4}) {
    EXPECT_EQ(buffer.writeAlsaSamples(src, 4, width), 0u) << width;
    EXPECT_EQ(buffer.readAlsaSamples(src, 4, width), 0u) << width;
  }
  EXPECT_EQ(buffer.writeAlsaSamples(nullptr, 4, 4), 0u);
  IntermediateBuffer empty(0, 8, SND_PCM_STREAM_PLAYBACK, 48000);
  EXPECT_EQ(empty.writeAlsaSamples(src, 4, 4), 0u);
  EXPECT_EQ(empty.readAlsaSamples(src, 4, 4), 0u);
}

TEST_F(IntermediateBufferTest, PlaybackTakesAFullBufferAndClearsWhatItTook) {
  IntermediateBuffer buffer(2, 4, SND_PCM_STREAM_PLAYBACK, 48000);
  const int32_t frames[8] = {10, 20, 11, 21, 12, 22, 13, 23};
  ASSERT_EQ(buffer.writeAlsaSamples(frames, 8, 4), 8u);
  ASSERT_EQ(buffer.getReadHead(), buffer.getWriteHead());  // full: heads equal

  FakeRings tx(3, 16, kPoison);
  unsigned txHead = 14;
  std::string err = stderrOf([&] {
    EXPECT_EQ(buffer.readNetaudioSamples(SND_PCM_FORMAT_S32_LE, 4, tx.tx, 2, txHead, 16), 4u);
  });
  EXPECT_EQ(err, "");
  EXPECT_EQ(txHead, 2u);
  EXPECT_EQ(tx.rings[0][14], 10);
  EXPECT_EQ(tx.rings[0][15], 11);
  EXPECT_EQ(tx.rings[0][0], 12);
  EXPECT_EQ(tx.rings[0][1], 13);
  EXPECT_EQ(tx.rings[1][14], 20);
  EXPECT_EQ(tx.rings[1][1], 23);
  EXPECT_EQ(tx.rings[0][2], kPoison);
  for (int32_t v : tx.rings[2]) EXPECT_EQ(v, kPoison);  // a channel beyond the PCM's
  EXPECT_EQ(buffer.getNumSamplesInBuffer(), 0u);
  const int32_t* block = reinterpret_cast<const int32_t*>(buffer.data());
  for (int i = 0; i < 8; ++i) EXPECT_EQ(block[i], 0) << i;
}

TEST_F(IntermediateBufferTest, CaptureOverrunDropsOrSkipsAndKeepsTheRingPosition) {
  // 2 channels x 16 periods x 4 frames = 128 samples = 64 frames.
  IntermediateBuffer buffer(2, 64, SND_PCM_STREAM_CAPTURE, 48000);
  FakeRings rx(2, 100);
  for (unsigned i = 0; i < 100; ++i) {
    rx.rings[0][i] = int32_t(i);
    rx.rings[1][i] = int32_t(1000 + i);
  }
  unsigned rxHead = 0;
  const std::string full =
      "WARNING: writeNetaudioSamples: buffer overrun (ALSA hasn't read enough). Buffer full.\n";

  // Fill 54 frames, leaving room for 10.
  ASSERT_EQ(buffer.writeNetaudioSamples(SND_PCM_FORMAT_S32_LE, 54, rx.rx, 2, rxHead, 100), 54u);
  std::string err = stderrOf([&] {
    EXPECT_EQ(buffer.writeNetaudioSamples(SND_PCM_FORMAT_S32_LE, 64, rx.rx, 2, rxHead, 100), 10u);
  });
  EXPECT_EQ(err,
            "WARNING: writeNetaudioSamples: buffer overrun (ALSA hasn't read enough). "
            "Skipping 54 frames.\n");
  EXPECT_EQ(rxHead, (54u + 64u) % 100u);
  EXPECT_EQ(buffer.getAvailableSpaceInSamplesInBuffer(), 0u);

  // Full: whole batches dropped, one warning until a batch is stored again.
  err = stderrOf([&] {
    EXPECT_EQ(buffer.writeNetaudioSamples(SND_PCM_FORMAT_S32_LE, 8, rx.rx, 2, rxHead, 100), 0u);
    EXPECT_EQ(buffer.writeNetaudioSamples(SND_PCM_FORMAT_S32_LE, 8, rx.rx, 2, rxHead, 100), 0u);
  });
  EXPECT_EQ(err, full);
  EXPECT_EQ(rxHead, (54u + 64u + 16u) % 100u);

  // The stored frames are the first 64 of the ring, contiguous.
  std::vector<int32_t> out(128);
  ASSERT_EQ(buffer.readAlsaSamples(out.data(), 128, 4), 128u);
  for (unsigned f = 0; f < 64; ++f) {
    ASSERT_EQ(out[2 * f], int32_t(f));
    ASSERT_EQ(out[2 * f + 1], int32_t(1000 + f));
  }

  // A stored batch clears the flag; the next full buffer warns again.
  rxHead = 0;
  ASSERT_EQ(buffer.writeNetaudioSamples(SND_PCM_FORMAT_S32_LE, 64, rx.rx, 2, rxHead, 100), 64u);
  err = stderrOf(
      [&] { buffer.writeNetaudioSamples(SND_PCM_FORMAT_S32_LE, 8, rx.rx, 2, rxHead, 100); });
  EXPECT_EQ(err, full);
}

TEST_F(IntermediateBufferTest, PlaybackUnderrunLeavesTheRingsAndAdvancesTheHead) {
  IntermediateBuffer buffer(2, 64, SND_PCM_STREAM_PLAYBACK, 48000);
  FakeRings tx(2, 100, kPoison);
  unsigned txHead = 90;
  const std::string empty =
      "WARNING: readNetaudioSamples: buffer underrun (ALSA hasn't written enough). "
      "No frames in buffer.\n";

  std::string err = stderrOf([&] {
    EXPECT_EQ(buffer.readNetaudioSamples(SND_PCM_FORMAT_S16_LE, 48, tx.tx, 2, txHead, 100), 0u);
    EXPECT_EQ(buffer.readNetaudioSamples(SND_PCM_FORMAT_S16_LE, 48, tx.tx, 2, txHead, 100), 0u);
  });
  EXPECT_EQ(err, empty);
  EXPECT_EQ(txHead, (90u + 96u) % 100u);
  for (auto& ring : tx.rings) {
    for (int32_t v : ring) ASSERT_EQ(v, kPoison);
  }

  // 3 frames for a batch of 5: 3 written, 2 positions skipped untouched.
  const int16_t frames[6] = {1, -1, 2, -2, 3, -3};
  ASSERT_EQ(buffer.writeAlsaSamples(frames, 6, 2), 6u);
  txHead = 98;
  err = stderrOf([&] {
    EXPECT_EQ(buffer.readNetaudioSamples(SND_PCM_FORMAT_S16_LE, 5, tx.tx, 2, txHead, 100), 3u);
  });
  EXPECT_EQ(err,
            "WARNING: readNetaudioSamples: buffer underrun (ALSA hasn't written enough). "
            "Skipping 2 frames.\n");
  EXPECT_EQ(txHead, 3u);
  EXPECT_EQ(tx.rings[0][98], 1 << 16);
  EXPECT_EQ(tx.rings[1][99], -(2 << 16));
  EXPECT_EQ(tx.rings[0][0], 3 << 16);
  EXPECT_EQ(tx.rings[0][1], kPoison);
  EXPECT_EQ(tx.rings[1][2], kPoison);

  // Frames were taken, so the next empty batch warns again.
  err = stderrOf(
      [&] { buffer.readNetaudioSamples(SND_PCM_FORMAT_S16_LE, 4, tx.tx, 2, txHead, 100); });
  EXPECT_EQ(err, empty);
}

// Frames whose ring positions the engine has taken already are thrown away: the rings stay
// untouched, the frames after them come next, and their places in the buffer read as zero
// (S16, so a wrong sample width would clear or skip the wrong bytes). No more than is held.
TEST_F(IntermediateBufferTest, DroppedFramesReachNoRingAndClearTheirPlaces) {
  IntermediateBuffer buffer(2, 4, SND_PCM_STREAM_PLAYBACK, 48000);
  const int16_t first[6] = {1, -1, 2, -2, 3, -3};
  ASSERT_EQ(buffer.writeAlsaSamples(first, 6, 2), 6u);
  FakeRings tx(2, 16, kPoison);
  unsigned txHead = 0;
  ASSERT_EQ(buffer.readNetaudioSamples(SND_PCM_FORMAT_S16_LE, 2, tx.tx, 2, txHead, 16), 2u);
  // Frame 4 fills the block's end, frames 5 and 6 wrap to its start.
  const int16_t more[6] = {4, -4, 5, -5, 6, -6};
  ASSERT_EQ(buffer.writeAlsaSamples(more, 6, 2), 6u);

  EXPECT_EQ(buffer.dropFrames(SND_PCM_FORMAT_S16_LE, 3, 2), 3u);  // frames 3 to 5, wrapping
  EXPECT_EQ(buffer.getNumSamplesInBuffer(), 2u);
  const int16_t* block = reinterpret_cast<const int16_t*>(buffer.data());
  const int16_t left[8] = {0, 0, 6, -6, 0, 0, 0, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(block[i], left[i]) << i;
  for (unsigned c = 0; c < 2; ++c) {
    for (unsigned p = 2; p < 16; ++p) ASSERT_EQ(tx.rings[c][p], kPoison) << c << " " << p;
  }
  ASSERT_EQ(buffer.readNetaudioSamples(SND_PCM_FORMAT_S16_LE, 1, tx.tx, 2, txHead, 16), 1u);
  EXPECT_EQ(tx.rings[0][2], 6 << 16);
  EXPECT_EQ(tx.rings[1][2], -(6 << 16));

  EXPECT_EQ(buffer.dropFrames(SND_PCM_FORMAT_S16_LE, 3, 2), 0u);  // nothing held
  EXPECT_EQ(buffer.getNumSamplesInBuffer(), 0u);
}

TEST_F(IntermediateBufferTest, RingAndBufferWrapMidBatchAtFullSize) {
  // 2 channels, 16 periods of 256 frames.
  IntermediateBuffer capture(2, 16 * 256, SND_PCM_STREAM_CAPTURE, 48000);
  EXPECT_EQ(capture.getCapacity(), 8192u);

  // A ring length that is not a power of two, a head just before its end, and a batch that
  // crosses both the ring end and (after a partial read) the buffer end.
  const unsigned spc = 4800;
  FakeRings rx(2, spc);
  for (unsigned i = 0; i < spc; ++i) {
    rx.rings[0][i] = int32_t(i) << 8;
    rx.rings[1][i] = -(int32_t(i) << 8);
  }
  unsigned rxHead = spc - 100;
  unsigned expectedPos = rxHead;
  std::vector<int16_t> out(8192);
  unsigned total = 0;
  for (int batch = 0; batch < 12; ++batch) {
    ASSERT_EQ(capture.writeNetaudioSamples(SND_PCM_FORMAT_S16_LE, 1000, rx.rx, 2, rxHead, spc),
              1000u);
    ASSERT_EQ(capture.readAlsaSamples(out.data(), 2000, 2), 2000u);
    for (unsigned f = 0; f < 1000; ++f) {
      ASSERT_EQ(out[2 * f], ringToS16(rx.rings[0][expectedPos])) << batch << " " << f;
      ASSERT_EQ(out[2 * f + 1], ringToS16(rx.rings[1][expectedPos])) << batch << " " << f;
      expectedPos = (expectedPos + 1) % spc;
    }
    total += 2000;
  }
  EXPECT_EQ(rxHead, expectedPos);
  EXPECT_EQ(capture.getWriteHead(), total % 8192);

  // Playback the same way, FLOAT, into rings with the head near the end.
  IntermediateBuffer playback(2, 16 * 256, SND_PCM_STREAM_PLAYBACK, 48000);
  FakeRings tx(2, spc, kPoison);
  unsigned txHead = spc - 7;
  std::vector<float> in(2000);
  unsigned written = 0;
  for (int batch = 0; batch < 6; ++batch) {
    for (unsigned f = 0; f < 1000; ++f) {
      in[2 * f] = float(written + f) / 8192.0f;
      in[2 * f + 1] = -float(written + f) / 8192.0f;
    }
    ASSERT_EQ(playback.writeAlsaSamples(in.data(), 2000, 4), 2000u);
    const unsigned start = txHead;
    ASSERT_EQ(playback.readNetaudioSamples(SND_PCM_FORMAT_FLOAT_LE, 1000, tx.tx, 2, txHead, spc),
              1000u);
    for (unsigned f = 0; f < 1000; ++f) {
      const unsigned pos = (start + f) % spc;
      ASSERT_EQ(tx.rings[0][pos], floatToRing(float(written + f) / 8192.0f));
      ASSERT_EQ(tx.rings[1][pos], floatToRing(-float(written + f) / 8192.0f));
    }
    written += 1000;
  }
  EXPECT_EQ(txHead, (spc - 7 + 6000) % spc);
}

TEST_F(IntermediateBufferTest, ResetEmptiesAndResizes) {
  IntermediateBuffer buffer(2, 8, SND_PCM_STREAM_CAPTURE, 48000);
  FakeRings rx(2, 32, 5);
  unsigned rxHead = 0;
  ASSERT_EQ(buffer.writeNetaudioSamples(SND_PCM_FORMAT_S32_LE, 3, rx.rx, 2, rxHead, 32), 3u);
  buffer.reset(4, 8);
  EXPECT_EQ(buffer.getCapacity(), 32u);
  EXPECT_EQ(buffer.getNumSamplesInBuffer(), 0u);
  EXPECT_EQ(buffer.getWriteHead(), 0u);
  const int32_t* block = reinterpret_cast<const int32_t*>(buffer.data());
  for (int i = 0; i < 32; ++i) EXPECT_EQ(block[i], 0);
  buffer.reset(1, 8);
  EXPECT_EQ(buffer.getCapacity(), 8u);
}

TEST_F(IntermediateBufferTest, ShortChannelTablesAndBadRingLengthsAreGuarded) {
  // A table with fewer rings than the PCM's channels: the missing channel reads as silence
  // and is never written.
  IntermediateBuffer capture(3, 4, SND_PCM_STREAM_CAPTURE, 48000);
  FakeRings rx(2, 8, 77);
  unsigned rxHead = 9;  // past the ring end: taken modulo the length
  ASSERT_EQ(capture.writeNetaudioSamples(SND_PCM_FORMAT_S32_LE, 2, rx.rx, 3, rxHead, 8), 2u);
  EXPECT_EQ(rxHead, 3u);
  int32_t out[6];
  ASSERT_EQ(capture.readAlsaSamples(out, 6, 4), 6u);
  EXPECT_EQ(out[0], 77);
  EXPECT_EQ(out[1], 77);
  EXPECT_EQ(out[2], 0);

  unsigned head = 0;
  EXPECT_EQ(capture.writeNetaudioSamples(SND_PCM_FORMAT_S32_LE, 2, rx.rx, 3, head, 0), 0u);
  IntermediateBuffer playback(3, 4, SND_PCM_STREAM_PLAYBACK, 48000);
  FakeRings tx(2, 8, kPoison);
  const int32_t in[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(playback.writeAlsaSamples(in, 6, 4), 6u);
  EXPECT_EQ(playback.readNetaudioSamples(SND_PCM_FORMAT_S32_LE, 2, tx.tx, 3, head, 0), 0u);
  ASSERT_EQ(playback.readNetaudioSamples(SND_PCM_FORMAT_S32_LE, 2, tx.tx, 3, head, 8), 2u);
  EXPECT_EQ(tx.rings[0][0], 1);
  EXPECT_EQ(tx.rings[1][1], 5);
}

TEST_F(IntermediateBufferTest, UnexpectedFormatConvertsNothing) {
  IntermediateBuffer buffer(1, 8, SND_PCM_STREAM_CAPTURE, 48000);
  FakeRings rx(1, 8, 9);
  unsigned rxHead = 0;
  std::string err = stderrOf([&] {
    EXPECT_EQ(buffer.writeNetaudioSamples(SND_PCM_FORMAT_U8, 2, rx.rx, 1, rxHead, 8), 2u);
  });
  EXPECT_EQ(err, "unexpected format\n");
  EXPECT_EQ(buffer.getNumSamplesInBuffer(), 2u);
  const int32_t* block = reinterpret_cast<const int32_t*>(buffer.data());
  EXPECT_EQ(block[0], 0);
}

}  // namespace
