// The built plug-in module under the real ALSA tools: aplay and arecord open "tarvo" through an
// ALSA configuration that names the module, against the stand-in engine running in real time
// in this process (in its private /dev/shm, which the tools inherit).
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "netaudio_soundcard/src/tsoundcard.h"
#include "netaudio_soundcard/src/tsoundcard_intermediatebuffer.h"
#include "netaudio_soundcard/src/tsoundcard_transmit_plan.h"
#include "tarvo/TarvoConnectionLoop.h"
#include "soundcard_harness.h"
#include "tests/support/wait_for.h"

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

  // Waits until the engine has taken every transmit position the plug-in can have written:
  // its lead and one batch beyond the period count when the tool ended.
  void stopEngineAfterTail() {
    const sim::StandInEngine::Config& c = engine->config();
    const uint64_t lead =
        tsoundcard::transmitLeadSamples(c.samplerate, c.samplesPerPeriod, c.samplesPerChannel);
    const uint64_t tail = (lead + c.samplesPerPeriod - 1) / c.samplesPerPeriod + 2;
    const uint64_t until = engine->periodCount() + tail;
    EXPECT_TRUE(testsupport::WaitFor([&] { return engine->periodCount() >= until; }))
        << "the engine stopped short of the tail";
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

struct WavFormat {
  const char* name;
  int subtype;  // libsndfile
  const char* alsaName;
};
const WavFormat kWavFormats[] = {{"S32", SF_FORMAT_PCM_32, "S32_LE"},
                                 {"S16", SF_FORMAT_PCM_16, "S16_LE"},
                                 {"FLOAT", SF_FORMAT_FLOAT, "FLOAT_LE"}};

// A file whose every frame carries its own number, so that each transmit position the engine
// took tells which frame landed there: channel 0 counts up from 1, channel 1 down from -1,
// exactly representable in every format (16-bit up to 32767 frames).
struct RampFile {
  std::vector<std::vector<int32_t>> ring;                      // [channel][frame]: ring value
  std::vector<std::unordered_map<int32_t, unsigned>> frameOf;  // [channel]: ring value -> frame
};

RampFile writeRampWav(const std::string& path, const WavFormat& format, unsigned frames) {
  RampFile ramp;
  ramp.ring.assign(2, {});
  ramp.frameOf.assign(2, {});
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | format.subtype;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return {};
  std::vector<int> ints;
  std::vector<short> shorts;
  std::vector<float> floats;
  for (unsigned f = 0; f < frames; ++f) {
    for (unsigned c = 0; c < 2; ++c) {
      const int32_t n = c == 0 ? int32_t(f + 1) : -int32_t(f + 1);
      int32_t ring;
      if (format.subtype == SF_FORMAT_PCM_32) {
        ints.push_back(n * 256);
        ring = n * 256;
      } else if (format.subtype == SF_FORMAT_PCM_16) {
        shorts.push_back(short(n));
        ring = tsoundcard::s16ToRing(int16_t(n));
      } else {
        const float x = float(n) / 8388608.0f;
        floats.push_back(x);
        ring = tsoundcard::floatToRing(x);
      }
      ramp.ring[c].push_back(ring);
      if (!ramp.frameOf[c].emplace(ring, f).second) return {};  // not unique
    }
  }
  if (format.subtype == SF_FORMAT_PCM_32) sf_writef_int(file, ints.data(), frames);
  if (format.subtype == SF_FORMAT_PCM_16) sf_writef_short(file, shorts.data(), frames);
  if (format.subtype == SF_FORMAT_FLOAT) sf_writef_float(file, floats.data(), frames);
  sf_close(file);
  return ramp;
}

// What the engine took from the transmit rings, read frame by frame.
struct TransmitWalk {
  unsigned firstFrame = 0;  // the frame at the first written position (earlier ones were late)
  unsigned expected = 0;    // the next frame due after the walk
  uint64_t late = 0;        // positions written too late on a channel (poison)
  uint64_t reread = 0;      // positions holding on a channel an earlier frame left in the ring
  size_t jumps = 0;         // forward jumps (each needs an xrun the tool reported)
  std::string error;        // the first position that breaks the rules
};

// Walks the positions from the first written one on. On each channel a position holds the next
// frame, or poison (written too late), or an earlier frame that was written too late and taken a
// ring later; neither of the latter moves the frames on. A forward jump is allowed only per
// xrun the tool reported.
// After the file only poison, aplay's silence padding or such re-read frames may follow.
TransmitWalk walkTransmit(const std::vector<int32_t>& ch0, const std::vector<int32_t>& ch1,
                          const RampFile& ramp, unsigned frames, size_t xruns) {
  TransmitWalk walk;
  const int32_t poison = StandInEngine::kPoison;
  auto frameAt = [&](size_t p, unsigned c, int32_t v, long& frame) {
    frame = -1;
    if (v == poison || v == 0) return true;
    const auto it = ramp.frameOf[c].find(v);
    if (it == ramp.frameOf[c].end()) {
      walk.error = "position " + std::to_string(p) + " channel " + std::to_string(c) + ": value " +
                   std::to_string(v) + " is no frame of the file";
      return false;
    }
    frame = long(it->second);
    return true;
  };
  size_t p = 0;
  while (p < ch0.size() && ch0[p] == poison && ch1[p] == poison) ++p;
  bool started = false;
  for (; p < ch0.size() && p < ch1.size(); ++p) {
    long f0, f1;
    if (!frameAt(p, 0, ch0[p], f0) || !frameAt(p, 1, ch1[p], f1)) return walk;
    const long f = std::max(f0, f1);  // the newest frame at this position
    const bool silence = ch0[p] == 0 || ch1[p] == 0;
    if (silence && f >= 0) {
      walk.error = "position " + std::to_string(p) + " mixes a frame with silence";
      return walk;
    }
    if (!started) {
      if (f < 0) continue;
      started = true;
      walk.firstFrame = walk.expected = unsigned(f);
    }
    if (walk.expected >= frames) {
      if (f >= 0) ++walk.reread;
      continue;
    }
    if (silence) {
      walk.error = "silence at position " + std::to_string(p) + " before the end of the file";
      return walk;
    }
    if (f > long(walk.expected)) {
      if (walk.jumps == xruns) {
        walk.error = "frame " + std::to_string(f) + " at position " + std::to_string(p) +
                     " where frame " + std::to_string(walk.expected) + " was due, without an xrun";
        return walk;
      }
      ++walk.jumps;
      walk.expected = unsigned(f);
    }
    // Per channel: the due frame, poison (written too late), or an earlier frame that was
    // written too late a ring ago and stayed.
    if (f0 < 0 || f1 < 0) ++walk.late;
    if ((f0 >= 0 && f0 < long(walk.expected)) || (f1 >= 0 && f1 < long(walk.expected))) {
      ++walk.reread;
    }
    ++walk.expected;
  }
  return walk;
}

TEST_F(AlsaUtilsTest, AplayLandsInTheTransmitChannelsExactly) {
  const unsigned frames = 24000;  // half a second
  for (const WavFormat& format : kWavFormats) {
    SCOPED_TRACE(format.name);
    const std::string wav = dir.file(std::string("play_") + format.name + ".wav");
    const RampFile ramp = writeRampWav(wav, format, frames);
    ASSERT_EQ(ramp.ring.size(), 2u);
    startEngine();
    const CommandResult r = tool({"aplay", "-D", "tarvo", wav});
    stopEngineAfterTail();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(std::string("Sample format: ") + format.alsaName + "\n"),
              std::string::npos)
        << r.err;

    const size_t underruns = countOf(r.err, "underrun!!!");
    const TransmitWalk walk =
        walkTransmit(engine->capture(0), engine->capture(1), ramp, frames, underruns);
    EXPECT_EQ(walk.error, "") << r.err;
    EXPECT_GE(walk.expected, frames)
        << "the file did not reach the engine whole: from frame " << walk.firstFrame << " to "
        << walk.expected << " in " << engine->capture(0).size() << " positions\n"
        << r.err;
    if (walk.firstFrame != 0 || walk.late != 0 || walk.reread != 0 || underruns != 0) {
      printf(
          "%s: first frame in time %u, late positions %llu, re-read %llu, underruns %zu "
          "(engine: %llu late samples)\n",
          format.name, walk.firstFrame, static_cast<unsigned long long>(walk.late),
          static_cast<unsigned long long>(walk.reread), underruns,
          static_cast<unsigned long long>(engine->lateSamplesTotal()));
    }
    for (unsigned c = 2; c < 8; ++c) {
      for (int32_t v : engine->capture(c)) ASSERT_EQ(v, StandInEngine::kPoison) << c;
    }
  }
}

// Engine periods longer than the 5 ms a playback used to write ahead, and a lead of 5 ms that
// leaves less than a period's room: aplay's frames reach the engine in order, every frame once,
// from the first one, and none lands on a position the engine took already (it would be heard a
// ring later). Any jump must come with an xrun aplay reported.
TEST_F(AlsaUtilsTest, AplayOfARampReachesTheEngineInOrderAtLongEnginePeriods) {
  const unsigned frames = 96000;  // two seconds
  const WavFormat& format = kWavFormats[0];  // S32: every frame number fits
  const std::string wav = dir.file("ramp.wav");
  const RampFile ramp = writeRampWav(wav, format, frames);
  ASSERT_EQ(ramp.ring.size(), 2u);
  for (const uint32_t spp : {480u, 4800u}) {
    SCOPED_TRACE(std::to_string(spp) + " samples per period");
    StandInEngine::Config c = soundcard_test::pluginEngineConfig();
    c.samplesPerPeriod = spp;
    c.samplesPerChannel = 48000;
    c.txChannels = 2;  // less for the engine to keep per period: it keeps time better
    startEngine(c);
    const CommandResult r = tool({"aplay", "-D", "tarvo", wav});
    stopEngineAfterTail();
    ASSERT_EQ(r.status, 0) << r.err;

    const size_t underruns = countOf(r.err, "underrun!!!");
    const TransmitWalk walk =
        walkTransmit(engine->capture(0), engine->capture(1), ramp, frames, underruns);
    EXPECT_EQ(walk.error, "") << r.err;
    // An engine clock that fell behind and caught up took positions no client could write in
    // time (and a write that came just after such a take shows a ring later): then only the
    // order of the frames, and a report of every jump, are checked.
    const bool engineKeptTime = clock->latePeriods() == 0;
    if (engineKeptTime) {
      EXPECT_EQ(walk.reread, 0u) << "frames landed on positions the engine had taken";
    }
    if (engineKeptTime && underruns == 0) {
      EXPECT_EQ(walk.firstFrame, 0u);
      EXPECT_EQ(walk.late, 0u) << r.err;
      EXPECT_GE(walk.expected, frames) << "from frame " << walk.firstFrame << " to "
                                       << walk.expected << "\n" << r.err;
    } else {
      printf("%u per period: %zu underruns reported, engine %llu periods late, %llu late "
             "positions, %llu re-read, frames %u to %u\n",
             spp, underruns, static_cast<unsigned long long>(clock->latePeriods()),
             static_cast<unsigned long long>(walk.late),
             static_cast<unsigned long long>(walk.reread), walk.firstFrame, walk.expected);
    }
  }
}

// Reads a recorded WAV file as the ring values would be converted for its format.
struct Recording {
  unsigned channels = 0;
  std::vector<int32_t> ints;  // S32, S16
  std::vector<float> floats;  // FLOAT
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
  } cases[] = {{"S32_LE", "1"},
               {"FLOAT_LE", "1"},
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
      {"unsigned 8-bit", play("tarvo", "U8", "2", "48000"), false, 1, "Sample format non available",
       "TSOUNDCARD"},
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

// The engine goes away in mid-playback: aplay sees an underrun, and its recovery fails with
// "No such device", as for a sound card that was unplugged, instead of waiting for ever.
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
  EXPECT_NE(r.err.find("prepare error: No such device"), std::string::npos) << r.err;
}

// A player that recovers every failed write with prepare, as SoX does, ends once the engine is
// gone: at once when the area is closed or cannot carry audio, after one start that waited in
// vain when the engine was killed or left mid-reconfiguration.
TEST_F(AlsaUtilsTest, PrepareRecoveringPlayerEndsWhenTheEngineGoes) {
  struct Case {
    const char* what;
    std::function<void(StandInEngine&)> spoil;
  } cases[] = {
      {"killed", [](StandInEngine& e) { e.abandon(); }},
      {"area closed", [](StandInEngine& e) { e.close(false); }},
      {"reset count left odd", [](StandInEngine& e) { e.reconfigure(nullptr, true); }},
      {"period 0",
       [](StandInEngine& e) {
         e.reconfigure([](Tarvo::buffer_header& h) { h.samples_per_period = 0; });
       }},
      {"rate 0",
       [](StandInEngine& e) { e.reconfigure([](Tarvo::buffer_header& h) { h.samplerate = 0; }); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    startEngine();
    soundcard_test::Command player({RECOVERING_PLAYER_PATH, "tarvo"},
                                   {"ALSA_CONFIG_PATH=" + configPath});
    ASSERT_TRUE(player.started());
    ASSERT_TRUE(player.waitForError("Activated\n", kToolTimeoutSeconds));
    clock->stop();
    c.spoil(*engine);
    const CommandResult r = player.wait(kToolTimeoutSeconds);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("prepare: No such device\n"), std::string::npos) << r.err;
    engine.reset();
  }
}

// A signal reaches a player that opened its PCM with SND_PCM_EINTR while it waits in a start
// for an engine that does not deliver periods: the write fails with EINTR at once, without the
// start's timeout, even though the handler was installed with SA_RESTART.
TEST_F(AlsaUtilsTest, SignalEndsTheStartWaitOfAPcmOpenedForIt) {
  engine.reset(new StandInEngine(soundcard_test::pluginEngineConfig()));
  ASSERT_EQ(engine->create(), 0);  // present, never stepped
  soundcard_test::Command player({RECOVERING_PLAYER_PATH, "tarvo", "--eintr"},
                                 {"ALSA_CONFIG_PATH=" + configPath});
  ASSERT_TRUE(player.started());
  ASSERT_TRUE(player.waitForError("Connected\n", kToolTimeoutSeconds));
  // Repeated, in case the first one arrives just before the wait begins.
  for (int i = 0; i < 600 && player.running(); ++i) {
    player.signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const CommandResult r = player.wait(kToolTimeoutSeconds);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("write: Interrupted system call\nstopped by signal\n"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("not reachable"), std::string::npos) << r.err;
}

// A signal that cuts a start short (SND_PCM_EINTR) says nothing about the engine: against a
// running engine with 100 ms periods, a player whose first start a signal interrupted prepares,
// starts and plays again; it never ends disconnected. Several runs, each with its start
// interrupted.
TEST_F(AlsaUtilsTest, InterruptedStartsNeverGiveUpARunningEngine) {
  StandInEngine::Config c = soundcard_test::pluginEngineConfig();
  c.samplesPerPeriod = 4800;
  c.samplesPerChannel = 48000;
  startEngine(c);
  constexpr int kRuns = 9;
  int interrupted = 0;
  int disconnected = 0;
  for (int run = 0; run < kRuns; ++run) {
    SCOPED_TRACE(run);
    soundcard_test::Command player({RECOVERING_PLAYER_PATH, "tarvo", "--eintr"},
                                   {"ALSA_CONFIG_PATH=" + configPath});
    ASSERT_TRUE(player.started());
    ASSERT_TRUE(player.waitForError("Connected\n", kToolTimeoutSeconds));
    // Interrupts until the start gave way to the signal or won the race to its first period.
    ASSERT_TRUE(player.waitForErrorText(
        [&](const std::string& err) {
          if (err.find("write: Interrupted system call\n") != std::string::npos ||
              err.find("Activated\n") != std::string::npos) {
            return true;
          }
          player.signal(SIGUSR1);
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
          return false;
        },
        kToolTimeoutSeconds));
    // Whichever it was, the stream runs.
    EXPECT_TRUE(player.waitForError("Activated\n", kToolTimeoutSeconds)) << "never ran again";
    player.signal(SIGINT);
    const CommandResult r = player.wait(kToolTimeoutSeconds);
    if (r.err.find("write: Interrupted system call\n") != std::string::npos) ++interrupted;
    if (r.err.find("No such device") != std::string::npos) ++disconnected;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("No such device"), std::string::npos) << r.err;
  }
  std::printf("%d of %d starts interrupted, %d players ended disconnected\n", interrupted, kRuns,
              disconnected);
  EXPECT_GT(interrupted, 0);
  clock->stop();
}

// A signal the application handles, sent while its start waits for the engine, does not end the
// start (nor the program): aplay ignores SIGUSR1, arecord takes it to start a new file; both go
// on once the engine moves. Several signals, each taken by the program during the wait.
TEST_F(AlsaUtilsTest, AplayAndArecordGoOnAfterSignalsDuringTheirStart) {
  struct Case {
    const char* what;
    std::vector<std::string> argv;
  } cases[] = {
      {"aplay",
       {"aplay", "-D", "tarvo", "-t", "raw", "-f", "S16_LE", "-c", "2", "-r", "48000", "-d", "1",
        "/dev/zero"}},
      {"arecord",
       {"arecord", "-D", "tarvo", "-f", "S16_LE", "-c", "2", "-r", "48000", "-d", "1",
        dir.file("signalled.wav")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    engine.reset(new StandInEngine(soundcard_test::pluginEngineConfig()));
    ASSERT_EQ(engine->create(), 0);  // present, not moving yet
    clock.reset(new EngineClock(*engine));
    soundcard_test::Command command(c.argv, {"ALSA_CONFIG_PATH=" + configPath});
    ASSERT_TRUE(command.started());
    // The worker of the start is connected: the start waits for the first period.
    ASSERT_TRUE(command.waitForError("Connected\n", kToolTimeoutSeconds));
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(command.signalAndWaitTaken(SIGUSR1, kToolTimeoutSeconds)) << i;
    }
    clock->start();
    const CommandResult r = command.wait(kToolTimeoutSeconds);
    clock->stop();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Interrupted system call"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Activated\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not reachable"), std::string::npos) << r.err;
  }
}

// An engine that stalls for more than a second and comes back: the player's prepare succeeds,
// its start waits, and the stream runs again as soon as periods arrive.
TEST_F(AlsaUtilsTest, PrepareRecoveringPlayerRidesOutAStall) {
  startEngine();
  soundcard_test::Command player({RECOVERING_PLAYER_PATH, "tarvo"},
                                 {"ALSA_CONFIG_PATH=" + configPath});
  ASSERT_TRUE(player.started());
  ASSERT_TRUE(player.waitForError("Activated\n", kToolTimeoutSeconds));
  clock->stop();
  ASSERT_TRUE(player.waitForError("write: Broken pipe\n", kToolTimeoutSeconds));
  const auto resumed = std::chrono::steady_clock::now();
  clock->start();
  ASSERT_TRUE(player.waitForErrorText(
      [](const std::string& err) { return countOf(err, "Activated\n") >= 2; },
      kToolTimeoutSeconds));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - resumed);
  std::printf("running again %lld ms after the engine resumed\n", (long long)ms.count());
  player.signal(SIGINT);
  const CommandResult r = player.wait(kToolTimeoutSeconds);
  clock->stop();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("prepare: "), std::string::npos) << r.err;
}

// The last lines of a program's output, to show why it did not end.
std::string lastLines(const std::string& text, size_t count = 8) {
  size_t at = text.size();
  for (size_t n = 0; n <= count && at != std::string::npos && at > 0; ++n) {
    at = text.rfind('\n', at - 1);
  }
  return at == std::string::npos ? text : text.substr(at + 1);
}

// The bounds within which an application must end once the engine is gone, and after Ctrl-C.
constexpr std::chrono::seconds kEndsAfterEngineGone{10};
// A signal does not end a start's wait, so SoX's start waits its whole bound for a silent
// engine before SoX can act on a Ctrl-C.
constexpr std::chrono::milliseconds kEndsAfterSigint{tsoundcard::kStartTimeoutMs + 5000};

// speaker-test recovers an underrun with prepare and writes on even when that prepare fails.
// Once the engine is gone for good the PCM is disconnected, so its next write fails with
// "No such device" and it ends; a new open works again once the engine is back.
TEST_F(AlsaUtilsTest, SpeakerTestEndsWhenTheEngineIsGone) {
  if (!soundcard_test::programExists("speaker-test")) GTEST_SKIP() << "speaker-test not installed";
  struct Case {
    const char* what;
    std::function<void(StandInEngine&)> spoil;
    std::function<void(StandInEngine&)> repair;
  } cases[] = {
      {"area closed", [](StandInEngine& e) { e.close(false); }, [](StandInEngine& e) { e.reopen(); }},
      {"period 0",
       [](StandInEngine& e) {
         e.reconfigure([](Tarvo::buffer_header& h) { h.samples_per_period = 0; });
       },
       [](StandInEngine& e) {
         e.reconfigure([](Tarvo::buffer_header& h) { h.samples_per_period = 48; });
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    startEngine();
    soundcard_test::Command speakerTest(
        {"speaker-test", "-D", "tarvo", "-c", "2", "-F", "S32_LE", "-r", "48000", "-t", "sine"},
        {"ALSA_CONFIG_PATH=" + configPath});
    ASSERT_TRUE(speakerTest.started());
    ASSERT_TRUE(speakerTest.waitForError("Activated\n", kToolTimeoutSeconds));
    clock->stop();
    c.spoil(*engine);
    clock->start();
    const CommandResult r = speakerTest.wait(kEndsAfterEngineGone);
    EXPECT_NE(r.status, -1) << "speaker-test still running " << kEndsAfterEngineGone.count()
                            << " s after the engine went; its last lines:\n"
                            << lastLines(r.out) << lastLines(r.err);
    EXPECT_NE(r.err.find("No such device"), std::string::npos)
        << "status " << r.status << "\n" << lastLines(r.out) << lastLines(r.err);

    clock->stop();
    c.repair(*engine);
    clock->start();
    const CommandResult again = tool({"aplay", "-D", "tarvo", "-t", "raw", "-f", "S32_LE", "-c",
                                      "2", "-r", "48000", "-d", "1", "/dev/zero"});
    EXPECT_EQ(again.status, 0) << again.err;
    clock->stop();
  }
}

// SoX as the output of a synthesised tone: it recovers a failed write with prepare and, on its
// way out, writes the rest of its buffer and drains, which starts the PCM again. Once a start has
// waited for the engine in vain, neither waits again.
class SoxTest : public AlsaUtilsTest {
 protected:
  void SetUp() override {
    AlsaUtilsTest::SetUp();
    if (IsSkipped()) return;
    if (!soundcard_test::programExists("sox")) GTEST_SKIP() << "sox not installed";
  }

  std::unique_ptr<soundcard_test::Command> startSox() {
    std::unique_ptr<soundcard_test::Command> sox(new soundcard_test::Command(
        {"sox", "-q", "-n", "-r", "48000", "-c", "2", "-t", "alsa", "tarvo", "synth", "120", "sine",
         "440"},
        {"ALSA_CONFIG_PATH=" + configPath}));
    EXPECT_TRUE(sox->started());
    EXPECT_TRUE(sox->waitForError("Activated\n", kToolTimeoutSeconds)) << "SoX did not start";
    return sox;
  }
};

TEST_F(SoxTest, EndsSoonAfterTheEngineIsKilled) {
  startEngine();
  std::unique_ptr<soundcard_test::Command> sox = startSox();
  ASSERT_FALSE(HasFailure());
  clock->stop();
  engine->abandon();
  const auto killed = std::chrono::steady_clock::now();
  const CommandResult r = sox->wait(kEndsAfterEngineGone);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - killed);
  std::printf("SoX ended %lld ms after the engine was killed\n", (long long)ms.count());
  EXPECT_NE(r.status, -1) << "SoX still running " << kEndsAfterEngineGone.count()
                          << " s after the engine was killed:\n"
                          << lastLines(r.err);
  EXPECT_NE(r.err.find("sox FAIL"), std::string::npos) << r.err;
}

// One Ctrl-C while SoX's start waits for an engine that does not move: the start waits on to
// its bound in vain, and SoX then ends. The signal is sent once the plug-in's new worker is
// connected (the start wait is under way).
TEST_F(SoxTest, EndsOnSigintWithinTheStartBoundWhileTheEngineIsSilent) {
  struct Case {
    const char* what;
    std::function<void(StandInEngine&)> silence;
  } cases[] = {
      {"engine stopped", [](StandInEngine&) {}},
      {"mid-reconfiguration", [](StandInEngine& e) { e.reconfigure(nullptr, true); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    startEngine();
    std::unique_ptr<soundcard_test::Command> sox = startSox();
    ASSERT_FALSE(HasFailure());
    clock->stop();
    c.silence(*engine);
    // The first worker reports the engine lost; the start of the recovery connects anew.
    ASSERT_TRUE(sox->waitForErrorText(
        [](const std::string& err) {
          const size_t lost = err.find(Tarvo::kEngineLostLine);
          return lost != std::string::npos && err.find("Connected\n", lost) != std::string::npos;
        },
        kToolTimeoutSeconds));
    const auto interrupted = std::chrono::steady_clock::now();
    sox->signal(SIGINT);
    testsupport::WaitFor([&] { return !sox->running(); }, kEndsAfterSigint);
    const CommandResult r = sox->wait(std::chrono::milliseconds(0));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - interrupted);
    std::printf("%s: SoX ended %lld ms after SIGINT\n", c.what, (long long)ms.count());
    EXPECT_NE(r.status, -1) << "SoX still running " << kEndsAfterSigint.count()
                            << " ms after SIGINT:\n"
                            << lastLines(r.err);
    // One start waited its bound in vain; after it, nothing waits again.
    EXPECT_EQ(countOf(r.err, "tsoundcard: network-audio engine not reachable\n"), 1u) << r.err;
    engine.reset();
  }
}

// SoX starts as soon as a little is written (below one engine period of 100 ms): it plays a
// file through without an under-run after its start.
TEST_F(SoxTest, PlaysAFileWithoutUnderrunsAtLongEnginePeriods) {
  const std::string wav = dir.file("tone.wav");
  const CommandResult made = soundcard_test::runCommand(
      {"sox", "-n", "-r", "48000", "-c", "2", "-b", "16", wav, "synth", "3", "sine", "440",
       "vol", "0.5"},
      {}, kToolTimeoutSeconds);
  ASSERT_EQ(made.status, 0) << made.err;
  StandInEngine::Config c = soundcard_test::pluginEngineConfig();
  c.samplesPerPeriod = 4800;
  c.samplesPerChannel = 48000;
  c.txChannels = 2;  // less for the engine to keep per period: it keeps time better
  startEngine(c);
  const CommandResult r = tool({"sox", wav, "-t", "alsa", "tarvo"});
  clock->stop();
  EXPECT_EQ(r.status, 0) << r.err;
  // An engine clock that fell behind and caught up takes positions before anyone could write
  // them, and the plug-in rightly reports that.
  if (clock->latePeriods() == 0) {
    EXPECT_EQ(countOf(r.err, "under-run"), 0u) << r.err;
  } else {
    printf("engine %llu periods late: SoX reported %zu under-runs\n",
           static_cast<unsigned long long>(clock->latePeriods()), countOf(r.err, "under-run"));
  }
}

// GStreamer's alsasink waits on the PCM's descriptor. Once the engine is gone (killed) or has
// stopped for longer than a start waits, alsasink ends with an error or plays on; it is never
// left waiting on a descriptor nobody writes to.
class GstreamerTest : public AlsaUtilsTest {
 protected:
  void SetUp() override {
    AlsaUtilsTest::SetUp();
    if (IsSkipped()) return;
    if (!soundcard_test::programExists("gst-launch-1.0")) {
      GTEST_SKIP() << "gst-launch-1.0 not installed";
    }
  }
};

TEST_F(GstreamerTest, AlsasinkEndsOrPlaysOnWhenTheEngineGoes) {
  struct Case {
    const char* what;
    bool killed;  // else stopped until a start has waited in vain, then running again
  } cases[] = {{"killed", true}, {"stopped beyond the start's bound", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    startEngine();
    soundcard_test::Command gst({"gst-launch-1.0", "audiotestsrc", "!", "alsasink",
                                 "device=tarvo"},
                                {"ALSA_CONFIG_PATH=" + configPath});
    ASSERT_TRUE(gst.started());
    ASSERT_TRUE(gst.waitForError("Activated\n", kToolTimeoutSeconds));
    clock->stop();
    bool playsOn = false;
    if (c.killed) {
      engine->abandon();
    } else {
      // Either alsasink ends, or a start of its recovery waits in vain for the engine.
      gst.waitForError("tsoundcard: network-audio engine not reachable\n", kToolTimeoutSeconds);
      clock->start();
      // Ended, or playing again.
      playsOn = gst.waitForErrorText(
          [](const std::string& err) { return countOf(err, "Activated\n") >= 2; },
          kToolTimeoutSeconds);
      if (playsOn) gst.signal(SIGINT);
    }
    const CommandResult r = gst.wait(kToolTimeoutSeconds);
    clock->stop();
    const std::string output = r.out + r.err;
    EXPECT_NE(r.status, -1) << "alsasink still waiting:\n" << lastLines(output);
    if (!playsOn) {
      EXPECT_NE(output.find("ERROR: from element"), std::string::npos)
          << "status " << r.status << "\n" << lastLines(output);
    }
    std::printf("%s: alsasink %s\n", c.what, playsOn ? "played on" : "ended with an error");
    engine.reset();
  }
}

// A rate change or fewer channels than the PCM uses ends a player whose exit handler closes its
// PCM with status 1 and the message: the handlers do not run on the plug-in's worker, which
// would then wait for itself.
TEST_F(AlsaUtilsTest, LayoutChangeEndsAPlayerThatClosesAtExit) {
  struct Case {
    const char* what;
    std::function<void(StandInEngine&)> change;
    const char* line;
  } cases[] = {
      {"rate", [](StandInEngine& e) { e.changeRate(44100); },
       "Detected change to sample rate from 48000 to 44100 - exiting.\n"},
      {"channels", [](StandInEngine& e) { e.changeChannels(1, 8); },
       "Detected change to number of channels from 2 to 1 - exiting.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    startEngine();
    soundcard_test::Command player({RECOVERING_PLAYER_PATH, "tarvo", "--close-at-exit"},
                                   {"ALSA_CONFIG_PATH=" + configPath});
    ASSERT_TRUE(player.started());
    ASSERT_TRUE(player.waitForError("Activated\n", kToolTimeoutSeconds));
    clock->stop();
    c.change(*engine);
    clock->start();
    const CommandResult r = player.wait(kToolTimeoutSeconds);
    clock->stop();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("deadlock"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("terminate"), std::string::npos) << r.err;
  }
}

}  // namespace
