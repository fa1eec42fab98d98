// The plug-in's cases that run its worker thread against the engine's periods: playback and
// capture through the rings, xruns, start/drop cycles, stalls and a closed area. They form a
// program of their own, which the ThreadSanitizer build runs (CTest label "tsan").
#include <poll.h>

#include <algorithm>
#include <cstdio>

#include "netaudio_soundcard/src/tsoundcard_transmit_plan.h"
#include "plugin_fixture.h"
#include "tests/support/wait_for.h"

namespace plugintest {
namespace {

// Playback, stepped period by period: the application's frames reach the transmit rings of
// their channels, converted, contiguous from the first one, 5 ms ahead of the engine.
TEST_F(PluginTest, PlaybackReachesTheTransmitRingsContiguously) {
  for (const FormatCase& fc : kFormats) {
    SCOPED_TRACE(fc.name);
    makeEngine();
    PcmHandle h;
    ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
    captureStderr();
    ASSERT_EQ(configure(h.pcm, fc.format, 2), 0);
    ASSERT_EQ(snd_pcm_nonblock(h.pcm, 1), 0);

    const size_t frameBytes = 2 * widthOf(fc.format);
    std::vector<int32_t> expected[2];
    unsigned written = 0;
    auto topUp = [&] {
      snd_pcm_sframes_t room = snd_pcm_avail_update(h.pcm);
      if (room <= 0) return;
      std::vector<uint8_t> bytes(size_t(room) * frameBytes);
      for (snd_pcm_sframes_t i = 0; i < room; ++i) {
        for (unsigned c = 0; c < 2; ++c) {
          int32_t ring;
          encodeSample(fc.format, written + unsigned(i), c,
                       &bytes[size_t(i) * frameBytes + c * widthOf(fc.format)], &ring);
          expected[c].push_back(ring);
        }
      }
      ASSERT_EQ(snd_pcm_writei(h.pcm, bytes.data(), snd_pcm_uframes_t(room)), room);
      written += unsigned(room);
    };
    topUp();
    ASSERT_EQ(written, kBufferFrames);
    snd_pcm_sframes_t delay = -1;
    ASSERT_EQ(snd_pcm_delay(h.pcm, &delay), 0);
    EXPECT_EQ(delay, snd_pcm_sframes_t(kBufferFrames));  // all held by the plug-in's buffer
    ASSERT_EQ(startStepping(h.pcm), 0);
    for (int p = 0; p < 150; ++p) {
      stepAndWait(h.pcm);
      topUp();
    }
    ASSERT_EQ(snd_pcm_drop(h.pcm), 0);
    const std::string err = capturedStderr();
    EXPECT_EQ(err.find("WARNING"), std::string::npos) << err;

    // The first written sample lands 240 samples (5 ms) after the period of the first reset;
    // from there every consumed position holds the next frame.
    const std::vector<int32_t>& ch0 = engine->capture(0);
    size_t first = 0;
    while (first < ch0.size() && ch0[first] == StandInEngine::kPoison) ++first;
    ASSERT_LT(first, ch0.size());
    EXPECT_EQ(first % 48, 0u);  // 240 = 5 periods of 48
    const size_t consumed = ch0.size() - first;
    EXPECT_GE(consumed, 140u * 48);
    for (unsigned c = 0; c < 2; ++c) {
      const std::vector<int32_t>& got = engine->capture(c);
      for (size_t k = 0; k < consumed; ++k) {
        ASSERT_EQ(got[first + k], expected[c][k]) << "channel " << c << " frame " << k;
      }
    }
    for (unsigned c = 2; c < 8; ++c) {
      for (int32_t v : engine->capture(c)) ASSERT_EQ(v, StandInEngine::kPoison) << c;
    }
    EXPECT_EQ(engine->lateSamples(0), 0u);
  }
}

// Capture, stepped: the receive pattern arrives frame after frame, converted, channel i from
// receive channel i.
TEST_F(PluginTest, CaptureDeliversTheReceiveRingsContiguously) {
  for (const FormatCase& fc : kFormats) {
    SCOPED_TRACE(fc.name);
    StandInEngine::Config c = soundcard_test::pluginEngineConfig();
    // The 16-bit conversion keeps only the upper half of the pattern, whose index part
    // changes every 65536 samples: start shortly before such a change.
    c.startPeriodCount = 1300;
    makeEngine(c);
    PcmHandle h;
    ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_CAPTURE, 0), 0);
    captureStderr();
    ASSERT_EQ(configure(h.pcm, fc.format, 3), 0);
    ASSERT_EQ(snd_pcm_nonblock(h.pcm, 1), 0);
    ASSERT_EQ(startStepping(h.pcm), 0);

    const size_t width = widthOf(fc.format);
    std::vector<uint8_t> got;
    std::vector<uint8_t> chunk(kBufferFrames * 3 * width);
    for (int p = 0; p < 150; ++p) {
      stepAndWait(h.pcm);
      snd_pcm_sframes_t n = snd_pcm_readi(h.pcm, chunk.data(), kBufferFrames);
      if (n == -EAGAIN) continue;
      ASSERT_GE(n, 0);
      got.insert(got.end(), chunk.begin(), chunk.begin() + n * 3 * width);
    }
    ASSERT_EQ(snd_pcm_drop(h.pcm), 0);
    const std::string err = capturedStderr();
    EXPECT_EQ(err.find("WARNING"), std::string::npos) << err;

    const size_t frames = got.size() / (3 * width);
    ASSERT_GE(frames, 140u * 48);
    auto value = [&](size_t f, unsigned ch) {
      int32_t v = 0;
      if (width == 2) {
        int16_t s;
        memcpy(&s, &got[(f * 3 + ch) * 2], 2);
        v = s;
      } else {
        memcpy(&v, &got[(f * 3 + ch) * 4], 4);
      }
      return v;
    };
    auto floatValue = [&](size_t f, unsigned ch) {
      float x;
      memcpy(&x, &got[(f * 3 + ch) * 4], 4);
      return x;
    };

    // The absolute sample index of the first frame.
    uint64_t a0 = 0;
    if (fc.format == SND_PCM_FORMAT_S32_LE) {
      a0 = uint32_t(value(0, 0)) & 0x07FFFFFFu;
    } else if (fc.format == SND_PCM_FORMAT_FLOAT_LE) {
      a0 = uint64_t(std::llround(double(floatValue(0, 0)) * 2147483647.0));
    } else {
      size_t change = 1;
      while (change < frames && value(change, 0) == value(0, 0)) ++change;
      ASSERT_LT(change, frames);
      a0 = 65536 - change;
    }
    EXPECT_EQ(a0 % 48, 0u);
    for (size_t f = 0; f < frames; ++f) {
      for (unsigned ch = 0; ch < 3; ++ch) {
        const int32_t ring = StandInEngine::rxPattern(ch, a0 + f);
        if (fc.format == SND_PCM_FORMAT_S32_LE) {
          ASSERT_EQ(value(f, ch), ring) << f << " " << ch;
        } else if (fc.format == SND_PCM_FORMAT_S16_LE) {
          ASSERT_EQ(value(f, ch), tsoundcard::ringToS16(ring)) << f << " " << ch;
        } else {
          ASSERT_EQ(floatValue(f, ch), tsoundcard::ringToFloat(ring)) << f << " " << ch;
        }
      }
    }
  }
}

// Transmit positions of channel `ch` holding something other than the engine's poison outside
// the stretch [engine position, engine position + lead): a value there was written after the
// engine had taken the position (it puts poison back behind itself).
size_t writtenBehindEngine(StandInEngine& engine, unsigned ch) {
  const StandInEngine::Config& c = engine.config();
  const uint32_t lead =
      tsoundcard::transmitLeadSamples(c.samplerate, c.samplesPerPeriod, c.samplesPerChannel);
  const uint64_t position = engine.periodCount() * c.samplesPerPeriod % c.samplesPerChannel;
  size_t written = 0;
  for (uint64_t p = 0; p < c.samplesPerChannel; ++p) {
    const uint64_t ahead = (p + c.samplesPerChannel - position) % c.samplesPerChannel;
    if (ahead >= lead && engine.txRing(ch)[p] != StandInEngine::kPoison) ++written;
  }
  return written;
}

// Playback frames, one ramp per channel, from frame `from` on.
std::vector<int32_t> rampFrames(unsigned from, unsigned count) {
  std::vector<int32_t> frames(size_t(count) * 2);
  for (unsigned f = 0; f < count; ++f) {
    for (unsigned c = 0; c < 2; ++c) frames[size_t(f) * 2 + c] = rampSample(from + f, c);
  }
  return frames;
}

// A work call that comes after the engine has taken positions of its window (here the engine
// hands over 10 periods of 48 at once, 480 frames against a 240-sample lead) writes nothing
// there and reports the loss: the next transfer answers -EPIPE, and after the usual recovery
// the stream plays again. Every call before it left the taken positions alone as well.
TEST_F(PluginTest, LateWorkCallWritesNoTakenPositionAndReportsAnXrun) {
  makeEngine();
  PcmHandle h;
  ASSERT_NO_FATAL_FAILURE(openConfigured(h, SND_PCM_STREAM_PLAYBACK, SND_PCM_FORMAT_S32_LE, 2));
  std::vector<int32_t> frames = rampFrames(0, kBufferFrames);
  ASSERT_EQ(snd_pcm_writei(h.pcm, frames.data(), kBufferFrames), kBufferFrames);
  ASSERT_EQ(startStepping(h.pcm), 0);
  for (int p = 0; p < 5; ++p) ASSERT_NO_FATAL_FAILURE(stepAndWaitForWork(h.pcm));
  for (unsigned ch = 0; ch < 2; ++ch) ASSERT_EQ(writtenBehindEngine(*engine, ch), 0u) << ch;

  const int wakes = wakeBytesQueued(h.pcm);
  engine->burst(10);
  ASSERT_TRUE(testsupport::WaitFor([&] { return wakeBytesQueued(h.pcm) > wakes; }));
  for (unsigned ch = 0; ch < 2; ++ch) EXPECT_EQ(writtenBehindEngine(*engine, ch), 0u) << ch;
  EXPECT_EQ(snd_pcm_avail_update(h.pcm), -EPIPE) << "the late work call reported no xrun";
  EXPECT_EQ(snd_pcm_writei(h.pcm, frames.data(), kPeriodFrames), -EPIPE);
  EXPECT_EQ(snd_pcm_state(h.pcm), SND_PCM_STATE_XRUN);

  clock->start();
  EXPECT_EQ(restartAndMovePeriod(h.pcm, frames.data()), 0);
  ASSERT_EQ(snd_pcm_drop(h.pcm), 0);
  capturedStderr();
}

// At engine periods longer than what an application writes before its start (100 ms periods
// here, one application period of 25 ms written), the first work call plays those frames at the
// end of its window without an xrun, and the stream goes on from there: every frame reaches the
// engine once, in order, from the first one.
TEST_F(PluginTest, FirstWorkCallAfterAStartPlaysWhatWasWrittenBeforeIt) {
  StandInEngine::Config c = soundcard_test::pluginEngineConfig();
  c.samplesPerPeriod = 4800;
  c.samplesPerChannel = 48000;
  makeEngine(c);
  PcmHandle h;
  ASSERT_NO_FATAL_FAILURE(openConfigured(h, SND_PCM_STREAM_PLAYBACK, SND_PCM_FORMAT_S32_LE, 2));
  ASSERT_EQ(snd_pcm_nonblock(h.pcm, 1), 0);
  snd_pcm_uframes_t buffer = 0, period = 0;
  ASSERT_EQ(snd_pcm_get_params(h.pcm, &buffer, &period), 0);
  ASSERT_LT(period, c.samplesPerPeriod);

  unsigned written = 0;
  auto write = [&](snd_pcm_uframes_t count) {
    const std::vector<int32_t> frames = rampFrames(written, unsigned(count));
    const snd_pcm_sframes_t n = snd_pcm_writei(h.pcm, frames.data(), count);
    if (n > 0) written += unsigned(n);
    return n;
  };
  ASSERT_EQ(write(period), snd_pcm_sframes_t(period));
  ASSERT_EQ(startStepping(h.pcm), 0);
  EXPECT_EQ(snd_pcm_avail_update(h.pcm), snd_pcm_sframes_t(buffer));
  for (int p = 0; p < 6; ++p) {
    const snd_pcm_sframes_t room = snd_pcm_avail_update(h.pcm);
    ASSERT_GE(room, 0) << "period " << p;
    if (room > 0) ASSERT_EQ(write(snd_pcm_uframes_t(room)), room) << "period " << p;
    ASSERT_NO_FATAL_FAILURE(stepAndWaitForWork(h.pcm));
  }
  ASSERT_EQ(snd_pcm_drop(h.pcm), 0);
  const std::string err = capturedStderr();
  EXPECT_EQ(err.find("WARNING"), std::string::npos) << err;

  for (unsigned ch = 0; ch < 2; ++ch) {
    SCOPED_TRACE(ch);
    const std::vector<int32_t>& got = engine->capture(ch);
    size_t at = 0;
    while (at < got.size() && got[at] == StandInEngine::kPoison) ++at;
    ASSERT_LT(at, got.size());
    const size_t taken = got.size() - at;
    EXPECT_GE(taken, 4u * c.samplesPerPeriod);
    for (size_t k = 0; k < taken; ++k) {
      ASSERT_EQ(got[at + k], rampSample(unsigned(k), ch)) << "position " << at + k;
    }
  }
}

// A start that waited its bound for a silent engine in vain fails with -EIO and leaves an
// error for whoever waits on the PCM: its descriptor is readable, every poll reports POLLERR and
// snd_pcm_wait answers -EPIPE at once, also without a timeout, until prepare looks at the engine
// again: an engine that moves again plays on, one that stays silent answers -ENODEV.
TEST_F(PluginTest, VainStartAnswersEveryWaitAtOnceUntilPrepareLooksAgain) {
  for (const bool moves : {true, false}) {
    SCOPED_TRACE(moves ? "the engine moves again" : "the engine stays silent");
    PcmHandle h;
    std::vector<int32_t> silence;
    ASSERT_NO_FATAL_FAILURE(startInVain(h, silence));
    EXPECT_EQ(snd_pcm_state(h.pcm), SND_PCM_STATE_XRUN);
    ASSERT_NO_FATAL_FAILURE(expectEveryWaitAnswers(h.pcm, -EPIPE));

    if (moves) {
      clock->start();
      EXPECT_EQ(restartAndMovePeriod(h.pcm, silence.data()), 0);
      ASSERT_EQ(snd_pcm_drop(h.pcm), 0);
      clock->stop();
    } else {
      EXPECT_EQ(snd_pcm_prepare(h.pcm), -ENODEV);
      EXPECT_EQ(snd_pcm_state(h.pcm), SND_PCM_STATE_DISCONNECTED);
    }
    const std::string err = capturedStderr();
    EXPECT_EQ(countOf(err, "tsoundcard: network-audio engine not reachable\n"), 1u) << err;
  }
}

// A capture application that stops reading: the buffer overruns, the next read reports the
// xrun, and after the usual recovery frames arrive again.
TEST_F(PluginTest, ShortWorkCallReportsOneXrun) {
  makeEngine();
  PcmHandle h;
  ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_CAPTURE, 0), 0);
  captureStderr();
  ASSERT_EQ(configure(h.pcm, SND_PCM_FORMAT_S32_LE, 2), 0);
  ASSERT_EQ(snd_pcm_nonblock(h.pcm, 1), 0);
  ASSERT_EQ(startStepping(h.pcm), 0);
  for (unsigned p = 0; p < kBufferFrames / 48 + 4; ++p) stepAndWait(h.pcm);
  std::vector<int32_t> frames(kBufferFrames * 2);
  EXPECT_EQ(snd_pcm_readi(h.pcm, frames.data(), 48), -EPIPE);
  EXPECT_EQ(snd_pcm_state(h.pcm), SND_PCM_STATE_XRUN);
  // The usual recovery: prepare and start again.
  ASSERT_EQ(snd_pcm_prepare(h.pcm), 0);
  ASSERT_EQ(startStepping(h.pcm), 0);
  stepAndWait(h.pcm);
  EXPECT_GE(snd_pcm_readi(h.pcm, frames.data(), 48), 1);
  ASSERT_EQ(snd_pcm_drop(h.pcm), 0);
  const std::string err = capturedStderr();
  EXPECT_NE(err.find("WARNING: writeNetaudioSamples: buffer overrun (ALSA hasn't read enough). "),
            std::string::npos)
      << err;
}

// Repeated start/stop cycles against a running engine leave no thread and no descriptor
// behind, and the hardware pointer starts from 0 each time.
TEST_F(PluginTest, StartDropCyclesLeaveNothingBehind) {
  makeEngine();
  clock->start();
  PcmHandle h;
  ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
  captureStderr();
  ASSERT_EQ(configure(h.pcm, SND_PCM_FORMAT_S16_LE, 2), 0);
  std::vector<int16_t> silence(kBufferFrames * 2);
  const int fds = soundcard_test::countOpenDescriptors();
  const int threads = soundcard_test::countThreads();
  int moved = 0;
  for (int cycle = 0; cycle < 50; ++cycle) {
    ASSERT_EQ(snd_pcm_prepare(h.pcm), 0);
    ASSERT_EQ(snd_pcm_writei(h.pcm, silence.data(), kBufferFrames), kBufferFrames);
    // A pointer left over from the last start would show as room before this start.
    EXPECT_EQ(snd_pcm_avail(h.pcm), 0) << cycle;
    EXPECT_EQ(snd_pcm_start(h.pcm), 0) << cycle;
    // Frames move: a period's worth of room comes back, unless a worker held up by a busy
    // machine fell more than the buffer behind and rightly reported an xrun.
    const snd_pcm_sframes_t n = snd_pcm_writei(h.pcm, silence.data(), kPeriodFrames);
    EXPECT_TRUE(n == kPeriodFrames || n == -EPIPE) << cycle << ": " << n;
    if (n == kPeriodFrames) ++moved;
    EXPECT_EQ(snd_pcm_drop(h.pcm), 0);
  }
  EXPECT_GT(moved, 0);
  EXPECT_EQ(soundcard_test::countOpenDescriptors(), fds);
  // A joined thread may stay listed in /proc/self/task for a moment after the join returns.
  EXPECT_TRUE(testsupport::WaitFor([&] { return soundcard_test::countThreads() == threads; }))
      << soundcard_test::countThreads() << " threads, " << threads << " before";
  capturedStderr();
}

// The engine gone at start: start gives up with -EIO and one line instead of hanging, and
// prepare answers -ENODEV while the area is missing; an engine that comes back within the wait
// lets the start succeed.
TEST_F(PluginTest, StartWaitsForTheEngineWithinTheBound) {
  makeEngine();
  PcmHandle h;
  ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
  captureStderr();
  ASSERT_EQ(configure(h.pcm, SND_PCM_FORMAT_S32_LE, 2), 0);
  std::vector<int32_t> silence(kBufferFrames * 2);
  const std::string configureLines = capturedStderr();

  engine->destroy();
  ASSERT_EQ(snd_pcm_writei(h.pcm, silence.data(), kBufferFrames), kBufferFrames);
  captureStderr();
  EXPECT_EQ(snd_pcm_start(h.pcm), -EIO);
  const std::string err = capturedStderr();
  EXPECT_NE(err.find("Connecting...\n"), std::string::npos) << err;
  EXPECT_NE(err.find("Error connecting to shared memory: ERROR is 2\nNo such file or directory\n"
                     "Trying to connect again...\n"),
            std::string::npos)
      << err;
  // The error is written once, however many retries the wait saw.
  EXPECT_EQ(err.find("Trying to connect again"), err.rfind("Trying to connect again"));
  EXPECT_NE(err.find("tsoundcard: network-audio engine not reachable\n"), std::string::npos);

  // Gone, as a sound card that was unplugged: prepare refuses, and the PCM stays disconnected.
  EXPECT_EQ(snd_pcm_prepare(h.pcm), -ENODEV);

  // An area that is back but not yet delivering periods: the start of a new open waits for them.
  ASSERT_EQ(engine->create(), 0);
  EXPECT_EQ(snd_pcm_prepare(h.pcm), -ENODEV);
  PcmHandle again;
  ASSERT_EQ(netaudioSoundcardOpen(&again.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
  captureStderr();
  ASSERT_EQ(configure(again.pcm, SND_PCM_FORMAT_S32_LE, 2), 0);
  capturedStderr();
  ASSERT_EQ(snd_pcm_writei(again.pcm, silence.data(), kBufferFrames), kBufferFrames);
  std::thread comeback([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    clock->start();
  });
  captureStderr();
  const int started = snd_pcm_start(again.pcm);
  comeback.join();
  EXPECT_EQ(started, 0);
  ASSERT_EQ(snd_pcm_drop(again.pcm), 0);
  const std::string err2 = capturedStderr();
  EXPECT_NE(err2.find("Connected\n"), std::string::npos) << err2;
  EXPECT_NE(err2.find("Activated\n"), std::string::npos) << err2;
}

// The engine stalls in mid-stream: the application gets an xrun instead of waiting for ever;
// after the engine resumes, a new start plays again and a drop waits for the thread.
TEST_F(PluginTest, EngineStallReportsAnXrunAndPlaybackResumes) {
  PcmHandle h;
  std::vector<int32_t> silence;
  ASSERT_NO_FATAL_FAILURE(startPlayingSilence(h, silence));

  clock->stop();
  EXPECT_EQ(writeUntilFailure(h.pcm, silence), -EPIPE);
  EXPECT_EQ(snd_pcm_state(h.pcm), SND_PCM_STATE_XRUN);

  clock->start();
  EXPECT_EQ(restartAndMovePeriod(h.pcm, silence.data()), 0);
  EXPECT_EQ(snd_pcm_drop(h.pcm), 0);
  const std::string err = capturedStderr();
  EXPECT_NE(err.find("Deactivated\n"), std::string::npos) << err;
}

// The engine closes its area (magic 0) under a running capture: the application gets an xrun,
// the worker reconnects at the retry pace instead of spinning, and once the area is back a new
// start records again.
TEST_F(PluginTest, ClosedAreaReportsAnXrunAndIsRetriedSlowly) {
  makeEngine();
  clock->start();
  PcmHandle h;
  ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_CAPTURE, 0), 0);
  captureStderr();
  ASSERT_EQ(configure(h.pcm, SND_PCM_FORMAT_S32_LE, 2), 0);
  std::vector<int32_t> frames(kBufferFrames * 2);
  ASSERT_EQ(restartAndMovePeriod(h.pcm, frames.data()), 0);

  clock->stop();
  engine->close(false);
  clock->start();
  snd_pcm_sframes_t result = 0;
  for (int i = 0; i < 1000 && result >= 0; ++i) {
    result = snd_pcm_readi(h.pcm, frames.data(), kPeriodFrames);
  }
  EXPECT_EQ(result, -EPIPE);
  // A reconnect spin would make hundreds of passes here; the retry pace makes a few.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  clock->stop();
  engine->reopen();
  clock->start();
  EXPECT_EQ(restartAndMovePeriod(h.pcm, frames.data()), 0);
  EXPECT_EQ(snd_pcm_drop(h.pcm), 0);
  const std::string err = capturedStderr();
  EXPECT_LT(countOf(err, "Disconnected\n"), 10u) << err;
  EXPECT_GE(countOf(err, "Disconnected\n"), 2u) << err;
}

// The engine goes under a running capture that the application waits on with snd_pcm_wait:
// once the frames captured before are read, every wait answers the error instead of timing
// out (an xrun while the PCM runs: the engine may still come back). After prepare has found the
// engine gone, the PCM is disconnected: its descriptor stays readable, every poll reports
// POLLERR and every wait, also one without a timeout, answers -ENODEV until it is closed.
TEST_F(PluginTest, WaitsAnswerAnErrorOnceTheEngineIsGone) {
  struct Case {
    const char* what;
    void (*spoil)(StandInEngine&);
    bool gone;  // the area is removed: prepare disconnects the PCM at once
  } cases[] = {
      {"shut down (area closed and removed)", [](StandInEngine& e) { e.destroy(); }, true},
      {"killed (area left as it was)", [](StandInEngine& e) { e.abandon(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    makeEngine();
    clock->start();
    PcmHandle h;
    ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_CAPTURE, 0), 0);
    captureStderr();
    ASSERT_EQ(configure(h.pcm, SND_PCM_FORMAT_S32_LE, 2), 0);
    std::vector<int32_t> frames(kBufferFrames * 2);
    ASSERT_EQ(restartAndMovePeriod(h.pcm, frames.data()), 0);

    clock->stop();
    c.spoil(*engine);
    const auto went = std::chrono::steady_clock::now();
    // An application's loop: wait, then read what is there.
    int waited = 1;
    for (int i = 0; i < 1000 && waited == 1; ++i) {
      waited = snd_pcm_wait(h.pcm, 2000);
      const snd_pcm_sframes_t avail = snd_pcm_avail_update(h.pcm);
      if (waited == 1 && avail > 0) {
        snd_pcm_readi(h.pcm, frames.data(), std::min<snd_pcm_sframes_t>(avail, kBufferFrames));
      }
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - went);
    std::printf("%s: snd_pcm_wait answered %d %lld ms after the engine went\n", c.what, waited,
                static_cast<long long>(ms.count()));
    EXPECT_EQ(waited, -EPIPE);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(snd_pcm_wait(h.pcm, 2000), -EPIPE) << i;

    if (c.gone) {
      EXPECT_EQ(snd_pcm_prepare(h.pcm), -ENODEV);
      ASSERT_EQ(snd_pcm_state(h.pcm), SND_PCM_STATE_DISCONNECTED);
      ASSERT_NO_FATAL_FAILURE(expectEveryWaitAnswers(h.pcm, -ENODEV));
    }
    capturedStderr();
  }
}

}  // namespace
}  // namespace plugintest
