#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "audio_files.h"
#include "netaudio_play/SndfileDecoder.h"

namespace {

std::vector<int32_t> readAll(Decoder& d, unsigned chunkFrames = 700) {
  std::vector<int32_t> out;
  std::vector<int> buffer(chunkFrames * d.getChannelCount());
  for (;;) {
    const unsigned got = d.getSamples(chunkFrames, buffer.data());
    out.insert(out.end(), buffer.begin(), buffer.begin() + got * d.getChannelCount());
    if (got < chunkFrames) break;
  }
  return out;
}

// Every PCM and float format reads back as the left-justified values written.
TEST(Decoders, SamplesAreLeftJustified32Bit) {
  TempDir dir;
  struct Case {
    const char* name;
    int format;
    std::vector<int32_t> samples;
    bool flac;
  } cases[] = {
      {"s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, ramp16(3000), false},
      {"s24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, noise(6000, 0xFFFFFF00u), false},
      {"s32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, noise(6000, 0xFFFFFFFFu), false},
      {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, noise(6000, 0xFF000000u), false},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, ramp16(3000), false},
      {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, noise(6000, 0xFFFFFF00u), false},
      {"s16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ramp16(3000), true},
      {"s24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, noise(6000, 0xFFFFFF00u), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.name);
    ASSERT_TRUE(writeInts(path, c.format, 2, 48000, c.samples));
    std::unique_ptr<Decoder> d(c.flac ? static_cast<Decoder*>(new FlacDecoder)
                                      : static_cast<Decoder*>(new WavDecoder));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(d->open(path.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Decoder opened successfully\n");
    EXPECT_EQ(d->getSampleRate(), 48000u);
    EXPECT_EQ(d->getChannelCount(), 2u);
    EXPECT_EQ(readAll(*d), c.samples);
    // Back to the start: the same first frames again.
    d->seekStart();
    int frame[4];
    EXPECT_EQ(d->getSamples(2, frame), 2u);
    EXPECT_EQ(std::vector<int32_t>(frame, frame + 4),
              std::vector<int32_t>(c.samples.begin(), c.samples.begin() + 4));
    EXPECT_EQ(d->getSamples(0, frame), 0u);
    testing::internal::CaptureStdout();
    d->close();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Decoder closed successfully\n");
  }
}

TEST(Decoders, FloatBeyondFullScaleSaturates) {
  TempDir dir;
  const std::string path = dir.file("over.wav");
  ASSERT_TRUE(writeFloats(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000,
                          {1.5f, -1.5f, 1.0f, -1.0f, 0.5f, NAN, -0.25f}));
  WavDecoder d;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(d.open(path.c_str()));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(readAll(d), std::vector<int32_t>(
                            {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, 1 << 30, 0, -(1 << 29)}));
}

TEST(Decoders, Mp3IsSixteenBitFullScale) {
  TempDir dir;
  const std::string path = dir.file("tone.mp3");
  ASSERT_TRUE(writeFloats(path, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1, 48000,
                          sine(48000, 1000, 0.5, 48000)));
  MP3Decoder d;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(d.open(path.c_str()));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(d.getChannelCount(), 1u);
  std::vector<int32_t> s = readAll(d);
  ASSERT_GT(s.size(), 40000u);
  unsigned crossings = 0;
  double sumSquares = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    EXPECT_EQ(s[i] & 0xFFFF, 0) << i;
    if (i > 0 && (s[i - 1] < 0) != (s[i] < 0)) ++crossings;
    sumSquares += double(s[i]) * s[i];
  }
  const double seconds = s.size() / 48000.0;
  EXPECT_NEAR(crossings / 2.0 / seconds, 1000.0, 20.0);
  const double rms = std::sqrt(sumSquares / s.size()) / 2147483648.0;
  EXPECT_NEAR(rms, 0.5 / std::sqrt(2.0), 0.03);
}

TEST(Decoders, UnusableFilesAreRefusedWithTheDecodersMessage) {
  TempDir dir;
  ASSERT_TRUE(writeInts(dir.file("flac_inside.wav"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 48000,
                        ramp16(100)));
  ASSERT_TRUE(
      writeInts(dir.file("real.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, ramp16(100)));
  ASSERT_TRUE(writeInts(dir.file("empty.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, {}));
  {
    // A WAV header claiming 5000 channels.
    std::ofstream f(dir.file("wide.wav"), std::ios::binary);
    const uint8_t header[] = {'R',  'I',  'F',  'F',  36 + 8, 0,   0,   0, 'W', 'A', 'V',
                              'E',  'f',  'm',  't',  ' ',    16,  0,   0, 0,   1,   0,
                              0x88, 0x13, 0x80, 0xBB, 0,      0,   0,   0, 0,   0,   0x10,
                              0x27, 16,   0,    'd',  'a',    't', 'a', 8, 0,   0,   0,
                              1,    2,    3,    4,    5,      6,   7,   8};
    f.write(reinterpret_cast<const char*>(header), sizeof header);
  }
  struct Case {
    const char* file;
    Decoder* decoder;
    const char* message;
  } cases[] = {
      {"flac_inside.wav", new WavDecoder, "ERROR: opening wav file \n"},
      {"real.wav", new MP3Decoder, "ERROR: opening mp3 file \n"},
      {"real.wav", new FlacDecoder, "ERROR: opening flac file \n"},
      {"missing.wav", new WavDecoder, "ERROR: opening wav file \n"},
      {"empty.wav", new WavDecoder, "ERROR: opening wav file \n"},
      {"wide.wav", new WavDecoder, "ERROR: opening wav file \n"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<Decoder> d(c.decoder);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(d->open(dir.file(c.file).c_str())) << c.file;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.file;
    int frame[2];
    EXPECT_EQ(d->getSamples(1, frame), 0u);
  }
}

}  // namespace
