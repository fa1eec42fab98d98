// The built plug-in module under the real ALSA tools: aplay and arecord open "tarvo" through an
// ALSA configuration that names the module, against the stand-in engine running in real time
// in this process (in its private /dev/shm, which the tools inherit).
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "netaudio_soundcard/src/tsoundcard_intermediatebuffer.h"
#include "soundcard_harness.h"

namespace {

using sim::StandInEngine;
using soundcard_test::CommandResult;
using soundcard_test::EngineClock;
using soundcard_test::TempDir;

constexpr int kToolTimeoutSeconds = 60;

size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class AlsaUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!soundcard_test::programExists("aplay") || !soundcard_test::programExists("arecord")) {
      GTEST_SKIP() << "alsa-utils (aplay, arecord) not installed";
    }
    configPath = soundcard_test::writeAlsaConfig(dir, false);
    systemConfigPath = soundcard_test::writeAlsaConfig(dir, true);
  }

  void startEngine(StandInEngine::Config c = soundcard_test::pluginEngineConfig()) {
    engine.reset(new StandInEngine(c));
    ASSERT_EQ(engine->create(), 0);
    clock.reset(new EngineClock(*engine));
    clock->start();
  }

  // Lets the engine take the last transmit samples (5 ms ahead) before it stops.
  void stopEngineAfterTail() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    clock->stop();
  }

  CommandResult tool(std::vector<std::string> argv, bool withSystem = false) {
    return soundcard_test::runCommand(
        argv, {"ALSA_CONFIG_PATH=" + (withSystem ? systemConfigPath : configPath)},
        kToolTimeoutSeconds);
  }

  TempDir dir;
  std::string configPath;
  std::string systemConfigPath;
  std::unique_ptr<StandInEngine> engine;
  std::unique_ptr<EngineClock> clock;
};

// Transmit value of frame f, channel c: distinct, never the engine's poison.
int32_t rampSample(unsigned f, unsigned c) {
  uint32_t v = (f + 7) * 2654435761u ^ (c * 0x01010101u);
  if (int32_t(v) == StandInEngine::kPoison) v ^= 1;
  return int32_t(v);
}

struct WavFormat {
  const char* name;
  int subtype;  // libsndfile
  const char* alsaName;
};
const WavFormat kWavFormats[] = {{"S32", SF_FORMAT_PCM_32, "S32_LE"},
                                 {"S16", SF_FORMAT_PCM_16, "S16_LE"},
                                 {"FLOAT", SF_FORMAT_FLOAT, "FLOAT_LE"}};

// Writes a 2-channel WAV file of `frames` frames and returns the ring samples each channel's
// frames must become.
std::vector<std::vector<int32_t>> writeRampWav(const std::string& path, const WavFormat& format,
                                               unsigned frames) {
  std::vector<std::vector<int32_t>> ring(2);
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | format.subtype;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return {};
  for (unsigned f = 0; f < frames; ++f) {
    for (unsigned c = 0; c < 2; ++c) {
      const int32_t v = rampSample(f, c);
      if (format.subtype == SF_FORMAT_PCM_32) {
        ring[c].push_back(v);
      } else if (format.subtype == SF_FORMAT_PCM_16) {
        ring[c].push_back(tsoundcard::s16ToRing(int16_t(v >> 16)));
      } else {
        ring[c].push_back(tsoundcard::floatToRing(float(v) / 2147483648.0f));
      }
    }
  }
  if (format.subtype == SF_FORMAT_PCM_32) {
    std::vector<int> data;
    for (unsigned f = 0; f < frames; ++f) {
      for (unsigned c = 0; c < 2; ++c) data.push_back(rampSample(f, c));
    }
    sf_writef_int(file, data.data(), frames);
  } else if (format.subtype == SF_FORMAT_PCM_16) {
    std::vector<short> data;
    for (unsigned f = 0; f < frames; ++f) {
      for (unsigned c = 0; c < 2; ++c) data.push_back(short(rampSample(f, c) >> 16));
    }
    sf_writef_short(file, data.data(), frames);
  } else {
    std::vector<float> data;
    for (unsigned f = 0; f < frames; ++f) {
      for (unsigned c = 0; c < 2; ++c) data.push_back(float(rampSample(f, c)) / 2147483648.0f);
    }
    sf_writef_float(file, data.data(), frames);
  }
  sf_close(file);
  return ring;
}

TEST_F(AlsaUtilsTest, AplayLandsInTheTransmitChannelsExactly) {
  const unsigned frames = 24000;  // half a second
  for (const WavFormat& format : kWavFormats) {
    SCOPED_TRACE(format.name);
    const std::string wav = dir.file(std::string("play_") + format.name + ".wav");
    const std::vector<std::vector<int32_t>> expected = writeRampWav(wav, format, frames);
    ASSERT_EQ(expected.size(), 2u);
    startEngine();
    const CommandResult r = tool({"aplay", "-D", "tarvo", wav});
    stopEngineAfterTail();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(std::string("Sample format: ") + format.alsaName + "\n"),
              std::string::npos)
        << r.err;

    // From the first written position on, every position holds the next frame, except where
    // the plug-in wrote too late (the engine counts those, the position keeps its place) and
    // across an underrun aplay reported (it drops what its buffer held and goes on).
    const std::vector<int32_t>& ch0 = engine->capture(0);
    const std::vector<int32_t>& ch1 = engine->capture(1);
    size_t pos = 0;
    while (pos < ch0.size() && ch0[pos] == StandInEngine::kPoison) ++pos;
    ASSERT_LT(pos, ch0.size());
    const size_t underruns = countOf(r.err, "underrun!!!");
    size_t jumps = 0;
    uint64_t late = 0;
    unsigned k = 0;
    auto matchesAt = [&](size_t p, unsigned frame) {
      return frame < frames && ch0[p] == expected[0][frame] && ch1[p] == expected[1][frame];
    };
    // Each channel holds the frame, or was written too late (the engine took the position
    // first, possibly between the two channels of one frame).
    auto fitsAt = [&](size_t p, unsigned frame) {
      return (ch0[p] == expected[0][frame] || ch0[p] == StandInEngine::kPoison) &&
             (ch1[p] == expected[1][frame] || ch1[p] == StandInEngine::kPoison);
    };
    for (; pos < ch0.size() && k < frames; ++pos) {
      if (!fitsAt(pos, k)) {
        ASSERT_LT(jumps, underruns) << "frame " << k << " at " << pos << ": " << ch0[pos] << " "
                                    << ch1[pos] << ", expected " << expected[0][k] << " "
                                    << expected[1][k] << "\n" << r.err;
        ++jumps;
        unsigned next = k + 1;
        while (next < frames && !matchesAt(pos, next)) ++next;
        ASSERT_LT(next, frames) << "a value that is no frame of the file at " << pos;
        k = next;
      }
      if (ch0[pos] == StandInEngine::kPoison) ++late;
      ++k;
    }
    EXPECT_EQ(k, frames);
    if (late != 0 || underruns != 0) {
      printf("%s: late transmit samples %llu (engine: %llu), underruns %zu\n", format.name,
             static_cast<unsigned long long>(late),
             static_cast<unsigned long long>(engine->lateSamples(0)), underruns);
    }
    // After the file only the silence aplay pads its last period with, or untouched positions.
    for (; pos < ch0.size(); ++pos) {
      ASSERT_TRUE(ch0[pos] == StandInEngine::kPoison || ch0[pos] == 0) << pos;
    }
    for (unsigned c = 2; c < 8; ++c) {
      for (int32_t v : engine->capture(c)) ASSERT_EQ(v, StandInEngine::kPoison) << c;
    }
  }
}

// Reads a recorded WAV file as the ring values would be converted for its format.
struct Recording {
  unsigned channels = 0;
  std::vector<int32_t> ints;   // S32, S16
  std::vector<float> floats;   // FLOAT
  size_t frames = 0;
};

Recording readRecording(const std::string& path, const std::string& format) {
  Recording rec;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return rec;
  rec.channels = unsigned(info.channels);
  rec.frames = size_t(info.frames);
  if (format == "FLOAT_LE") {
    rec.floats.resize(rec.frames * rec.channels);
    sf_readf_float(file, rec.floats.data(), info.frames);
  } else if (format == "S16_LE") {
    std::vector<short> s(rec.frames * rec.channels);
    sf_readf_short(file, s.data(), info.frames);
    rec.ints.assign(s.begin(), s.end());
  } else {
    rec.ints.resize(rec.frames * rec.channels);
    sf_readf_int(file, rec.ints.data(), info.frames);
  }
  sf_close(file);
  return rec;
}

TEST_F(AlsaUtilsTest, ArecordRecordsTheReceivePatternExactly) {
  struct Case {
    const char* format;
    const char* seconds;
  } cases[] = {{"S32_LE", "1"}, {"FLOAT_LE", "1"},
               // The 16-bit samples keep the upper half of the pattern, whose index part steps
               // every 65536 samples: three seconds hold two steps, which pin the position.
               {"S16_LE", "3"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    startEngine();
    const std::string wav = dir.file(std::string("rec_") + c.format + ".wav");
    const CommandResult r = tool(
        {"arecord", "-D", "tarvo", "-f", c.format, "-r", "48000", "-c", "3", "-d", c.seconds, wav});
    clock->stop();
    ASSERT_EQ(r.status, 0) << r.err;
    const Recording rec = readRecording(wav, c.format);
    ASSERT_EQ(rec.channels, 3u);
    ASSERT_EQ(rec.frames, 48000u * unsigned(atoi(c.seconds)));

    const bool isFloat = std::string(c.format) == "FLOAT_LE";
    const bool is16 = std::string(c.format) == "S16_LE";
    auto expectedAt = [&](unsigned ch, uint64_t a) -> double {
      const int32_t ring = StandInEngine::rxPattern(ch, a);
      if (isFloat) return tsoundcard::ringToFloat(ring);
      if (is16) return tsoundcard::ringToS16(ring);
      return ring;
    };
    auto got = [&](size_t f, unsigned ch) -> double {
      return isFloat ? double(rec.floats[f * 3 + ch]) : double(rec.ints[f * 3 + ch]);
    };

    uint64_t a = 0;
    if (isFloat) {
      a = uint64_t(std::llround(got(0, 0) * 2147483647.0));
    } else if (is16) {
      size_t step = 1;
      while (step < rec.frames && got(step, 0) == got(0, 0)) ++step;
      ASSERT_LT(step, rec.frames);
      a = ((uint64_t(uint16_t(got(step, 0))) & 0x7FF) << 16) - step;
    } else {
      a = uint32_t(rec.ints[0]) & 0x07FFFFFFu;
    }
    // Frame after frame, except across an xrun the tool reported.
    const size_t overruns = countOf(r.err, "overrun!!!");
    size_t jumps = 0;
    for (size_t f = 0; f < rec.frames; ++f, ++a) {
      if (got(f, 0) != expectedAt(0, a)) {
        ASSERT_LT(jumps, overruns) << "gap at frame " << f << "\n" << r.err;
        ++jumps;
        // 16-bit frames carry too little of the index to find the place again.
        if (is16) break;
        a = isFloat ? uint64_t(std::llround(got(f, 0) * 2147483647.0))
                    : uint32_t(rec.ints[f * 3]) & 0x07FFFFFFu;
      }
      for (unsigned ch = 0; ch < 3; ++ch) {
        ASSERT_EQ(got(f, ch), expectedAt(ch, a)) << "frame " << f << " channel " << ch;
      }
    }
  }
}

TEST_F(AlsaUtilsTest, NegotiationRefusesWhatTheAreaCannotCarry) {
  startEngine();
  // aplay of raw silence for a second.
  auto play = [](const char* device, const char* format, const char* channels, const char* rate,
                 std::vector<std::string> options = {}) {
    std::vector<std::string> argv = {"aplay"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"-D", device, "-t", "raw", "-f", format, "-c", channels, "-r", rate,
                             "-d", "1", "/dev/zero"});
    return argv;
  };
  struct Case {
    const char* what;
    std::vector<std::string> argv;
    bool throughPlug;
    int status;
    const char* errorText;   // in stderr
    const char* absentText;  // not in stderr
  } cases[] = {
      {"unsigned 8-bit", play("tarvo", "U8", "2", "48000"), false, 1,
       "Sample format non available", "TSOUNDCARD"},
      {"memory-mapped access", play("tarvo", "S32_LE", "2", "48000", {"-M"}), false, 1,
       "Access type not available", "TSOUNDCARD"},
      {"more channels than the area", play("tarvo", "S32_LE", "9", "48000"), false, 1,
       "Channels count non available", "TSOUNDCARD"},
      {"another rate", play("tarvo", "S32_LE", "2", "44100"), false, 0,
       "rate is not accurate (requested = 44100Hz, got = 48000Hz)", "non available"},
      {"channel mapping through plug:", play("plug:tarvo", "S16_LE", "8", "48000"), true, 0,
       "Channels: 8", "non available"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CommandResult r = tool(c.argv, c.throughPlug);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.errorText), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(c.absentText), std::string::npos) << r.err;
  }

  // The buffer is always 16 periods.
  const CommandResult v = tool(play("tarvo", "S16_LE", "1", "48000", {"-v"}));
  ASSERT_EQ(v.status, 0) << v.err;
  auto field = [&](const std::string& name) -> long {
    const size_t at = v.out.find(name);
    const std::string& text = at != std::string::npos ? v.out : v.err;
    const size_t pos = text.find(name);
    if (pos == std::string::npos) return -1;
    return strtol(text.c_str() + text.find(':', pos) + 1, nullptr, 10);
  };
  const long period = field("period_size  :");
  const long buffer = field("buffer_size  :");
  ASSERT_GT(period, 0) << v.out << v.err;
  EXPECT_EQ(buffer, 16 * period);
  clock->stop();
}

TEST_F(AlsaUtilsTest, WithoutTheEngineTheToolsCannotOpen) {
  const CommandResult r = tool({"aplay", "-D", "tarvo", "-t", "raw", "-f", "S32_LE", "-c", "2",
                                "-r", "48000", "-d", "1", "/dev/zero"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("audio open error"), std::string::npos) << r.err;
}

// Kept as the engine's contract: a rate change or fewer channels than the PCM uses ends the
// host program with status 1 and one line.
TEST_F(AlsaUtilsTest, EngineReconfigurationEndsTheProgram) {
  struct Case {
    const char* what;
    std::vector<std::string> argv;
    std::function<void(StandInEngine&)> change;
    const char* line;
  } cases[] = {
      {"rate change during arecord",
       {"arecord", "-D", "tarvo", "-f", "S32_LE", "-r", "48000", "-c", "2", "-d", "20",
        dir.file("rate.wav")},
       [](StandInEngine& e) { e.changeRate(44100); },
       "Detected change to sample rate from 48000 to 44100 - exiting.\n"},
      {"transmit channels drop under an 8-channel playback",
       {"aplay", "-D", "tarvo", "-t", "raw", "-f", "S32_LE", "-c", "8", "-r", "48000", "-d", "20",
        "/dev/zero"},
       [](StandInEngine& e) { e.changeChannels(4, 8); },
       "Detected change to number of channels from 8 to 4 - exiting.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    startEngine();
    soundcard_test::Command command(c.argv, {"ALSA_CONFIG_PATH=" + configPath});
    ASSERT_TRUE(command.started());
    ASSERT_TRUE(command.waitForError("Activated\n", kToolTimeoutSeconds));
    clock->stop();
    c.change(*engine);
    clock->start();
    const CommandResult r = command.wait(kToolTimeoutSeconds);
    clock->stop();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
  }
}

// The engine stops delivering periods in mid-playback: aplay sees an underrun, and its restart
// fails with an error after the start's bounded wait instead of hanging.
TEST_F(AlsaUtilsTest, EngineStoppedDuringPlaybackEndsInAnError) {
  startEngine();
  soundcard_test::Command command({"aplay", "-D", "tarvo", "-t", "raw", "-f", "S16_LE", "-c", "2",
                                   "-r", "48000", "-d", "30", "/dev/zero"},
                                  {"ALSA_CONFIG_PATH=" + configPath});
  ASSERT_TRUE(command.started());
  ASSERT_TRUE(command.waitForError("Activated\n", kToolTimeoutSeconds));
  clock->stop();
  engine->destroy();
  const CommandResult r = command.wait(kToolTimeoutSeconds);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("underrun!!!"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("tsoundcard: network-audio engine not reachable\n"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Input/output error"), std::string::npos) << r.err;
}

}  // namespace
