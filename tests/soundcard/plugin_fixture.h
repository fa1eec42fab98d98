// The plug-in test fixture: the plug-in opened in this process against the stand-in engine, and
// the sample patterns and formats the tests play and capture. Shared by the plug-in's tests and
// its concurrency cases (plugin_concurrency_test.cpp).
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "netaudio_soundcard/src/alsa_plugin.h"
#include "netaudio_soundcard/src/tsoundcard.h"
#include "netaudio_soundcard/src/tsoundcard_intermediatebuffer.h"
#include "soundcard_harness.h"
#include "tests/support/wait_for.h"

namespace plugintest {

using sim::StandInEngine;
using soundcard_test::EngineClock;

constexpr unsigned kPeriodFrames = 192;
constexpr unsigned kBufferFrames = 16 * kPeriodFrames;

struct PcmHandle {
  snd_pcm_t* pcm = nullptr;
  ~PcmHandle() {
    if (pcm != nullptr) snd_pcm_close(pcm);
  }
};

// Negotiates interleaved `format` x `channels` at 48 kHz with a period of kPeriodFrames, and a
// start left to the test (start threshold beyond the buffer).
inline int configure(snd_pcm_t* pcm, snd_pcm_format_t format, unsigned channels) {
  snd_pcm_hw_params_t* hw;
  snd_pcm_hw_params_alloca(&hw);
  int err = snd_pcm_hw_params_any(pcm, hw);
  if (err < 0) return err;
  if ((err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
      (err = snd_pcm_hw_params_set_format(pcm, hw, format)) < 0 ||
      (err = snd_pcm_hw_params_set_channels(pcm, hw, channels)) < 0 ||
      (err = snd_pcm_hw_params_set_rate(pcm, hw, 48000, 0)) < 0) {
    return err;
  }
  snd_pcm_uframes_t period = kPeriodFrames;
  if ((err = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr)) < 0) return err;
  if ((err = snd_pcm_hw_params(pcm, hw)) < 0) return err;
  snd_pcm_sw_params_t* sw;
  snd_pcm_sw_params_alloca(&sw);
  snd_pcm_sw_params_current(pcm, sw);
  snd_pcm_uframes_t boundary = 0;
  snd_pcm_sw_params_get_boundary(sw, &boundary);
  snd_pcm_sw_params_set_start_threshold(pcm, sw, boundary);
  snd_pcm_sw_params_set_avail_min(pcm, sw, 1);
  return snd_pcm_sw_params(pcm, sw);
}

inline size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Bytes of one sample of each format under test, and the ring value a sample becomes (and
// back).
inline size_t widthOf(snd_pcm_format_t f) { return f == SND_PCM_FORMAT_S16_LE ? 2 : 4; }

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IntermediateBuffer::bufferFullLogState = false;
    IntermediateBuffer::bufferEmptyLogState = false;
  }

  // A case that ends early (a failed ASSERT) leaves no capture behind: the next case, or the
  // next repeat, could not capture again.
  void TearDown() override {
    if (mCapturingStderr) capturedStderr();
  }

  // Captures standard error until capturedStderr().
  void captureStderr() {
    ::testing::internal::CaptureStderr();
    mCapturingStderr = true;
  }
  std::string capturedStderr() {
    mCapturingStderr = false;
    return ::testing::internal::GetCapturedStderr();
  }

  void makeEngine(StandInEngine::Config c = soundcard_test::pluginEngineConfig()) {
    clock.reset();
    engine.reset(new StandInEngine(c));
    ASSERT_EQ(engine->create(), 0);
    clock.reset(new EngineClock(*engine));
  }

  // Wake bytes of the plug-in's work calls that no poll has consumed yet, in the PCM's poll
  // descriptor; -1 on an error.
  static int wakeBytesQueued(int fd) {
    int bytes = 0;
    return ioctl(fd, FIONREAD, &bytes) == 0 ? bytes : -1;
  }
  static int wakeBytesQueued(snd_pcm_t* pcm) {
    pollfd fd{};
    return snd_pcm_poll_descriptors(pcm, &fd, 1) == 1 ? wakeBytesQueued(fd.fd) : -1;
  }

  // Starts the PCM while a helper steps the engine, a period at a time, until the plug-in's
  // first work call (its wake byte) or the end of the start: no period beyond the one the start
  // returns on. A step the worker was not connected for yet is followed by another.
  int startStepping(snd_pcm_t* pcm) {
    // The descriptor is looked up before the start: libasound holds the PCM's lock during it.
    pollfd fd{};
    if (snd_pcm_poll_descriptors(pcm, &fd, 1) != 1) return -EBADFD;
    auto queued = [&fd] { return wakeBytesQueued(fd.fd); };
    const int before = queued();
    std::atomic<bool> started{false};
    std::thread stepper([&] {
      bool worked = false;
      while (!started.load() && !worked) {
        engine->step(1);
        worked = testsupport::WaitFor([&] { return started.load() || queued() > before; },
                                      std::chrono::milliseconds(100)) &&
                 !started.load();
      }
    });
    const int result = snd_pcm_start(pcm);
    started = true;
    stepper.join();
    return result;
  }

  // One engine period, then the wait for the plug-in's work call on it.
  void stepAndWait(snd_pcm_t* pcm) {
    engine->step(1);
    ASSERT_GE(snd_pcm_wait(pcm, 2000), 1);
  }

  // One engine period, then the wait for the plug-in's work call on it, whatever wake bytes of
  // earlier calls no poll has consumed.
  void stepAndWaitForWork(snd_pcm_t* pcm) {
    const int before = wakeBytesQueued(pcm);
    engine->step(1);
    ASSERT_TRUE(testsupport::WaitFor([&] { return wakeBytesQueued(pcm) > before; }));
  }

  // A stereo S32 playback on a running engine: opened, stderr captured from its configuration
  // on, the buffer filled with silence, started and one more period written.
  void startPlayingSilence(PcmHandle& h, std::vector<int32_t>& silence) {
    makeEngine();
    clock->start();
    ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
    captureStderr();
    ASSERT_EQ(configure(h.pcm, SND_PCM_FORMAT_S32_LE, 2), 0);
    silence.assign(kBufferFrames * 2, 0);
    ASSERT_EQ(restartAndMovePeriod(h.pcm, silence.data()), 0);
  }

  // Opens a PCM of `stream` and negotiates `format` x `channels` (see configure), with stderr
  // captured from the configuration on.
  void openConfigured(PcmHandle& h, snd_pcm_stream_t stream, snd_pcm_format_t format,
                      unsigned channels) {
    ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", stream, 0), 0);
    captureStderr();
    ASSERT_EQ(configure(h.pcm, format, channels), 0);
  }

  // A stereo S32 playback against an engine that is there but does not move: opened, stderr
  // captured from its configuration on, the buffer filled with silence, and a start that
  // waited its bound in vain.
  void startInVain(PcmHandle& h, std::vector<int32_t>& silence) {
    makeEngine();
    ASSERT_NO_FATAL_FAILURE(
        openConfigured(h, SND_PCM_STREAM_PLAYBACK, SND_PCM_FORMAT_S32_LE, 2));
    silence.assign(kBufferFrames * 2, 0);
    ASSERT_EQ(snd_pcm_writei(h.pcm, silence.data(), kBufferFrames), kBufferFrames);
    ASSERT_EQ(snd_pcm_start(h.pcm), -EIO);
  }

  // The PCM's descriptor stays readable, every poll reports POLLERR and every wait answers
  // `error` at once, with a timeout and without one.
  static void expectEveryWaitAnswers(snd_pcm_t* pcm, int error) {
    ASSERT_EQ(snd_pcm_poll_descriptors_count(pcm), 1);
    pollfd fds[1];
    ASSERT_EQ(snd_pcm_poll_descriptors(pcm, fds, 1), 1);
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      ASSERT_EQ(poll(fds, 1, 0), 1) << "the descriptor is not readable";
      unsigned short revents = 0;
      EXPECT_EQ(snd_pcm_poll_descriptors_revents(pcm, fds, 1, &revents), 0);
      EXPECT_EQ(revents, POLLERR);
      EXPECT_EQ(snd_pcm_wait(pcm, 2000), error);
    }
    // Only a readable descriptor lets a wait without a timeout return.
    ASSERT_EQ(poll(fds, 1, 0), 1);
    EXPECT_EQ(snd_pcm_wait(pcm, -1), error);
  }

  // Writes periods until the playback fails (at most 1000): what the last write returned.
  static snd_pcm_sframes_t writeUntilFailure(snd_pcm_t* pcm, const std::vector<int32_t>& silence) {
    snd_pcm_sframes_t result = 0;
    for (int i = 0; i < 1000 && result >= 0; ++i) {
      result = snd_pcm_writei(pcm, silence.data(), kPeriodFrames);
    }
    return result;
  }

  // Prepares and starts the PCM against the running engine and moves one period: 0 when it
  // moved. A worker held up by a busy machine may fall more than the buffer behind right after
  // its start and rightly report an xrun; such a start is made again (a few times at most).
  int restartAndMovePeriod(snd_pcm_t* pcm, void* frames) {
    const bool playback = snd_pcm_stream(pcm) == SND_PCM_STREAM_PLAYBACK;
    snd_pcm_sframes_t moved = -EPIPE;
    for (int attempt = 0; attempt < 5 && moved == -EPIPE; ++attempt) {
      if (snd_pcm_prepare(pcm) != 0) return -1;
      if (playback && snd_pcm_writei(pcm, frames, kBufferFrames) != kBufferFrames) return -2;
      if (snd_pcm_start(pcm) != 0) return -3;
      moved = playback ? snd_pcm_writei(pcm, frames, kPeriodFrames)
                       : snd_pcm_readi(pcm, frames, kPeriodFrames);
    }
    return moved == kPeriodFrames ? 0 : int(moved);
  }

  std::unique_ptr<StandInEngine> engine;
  std::unique_ptr<EngineClock> clock;

 private:
  bool mCapturingStderr = false;
};

// Transmit value for frame f of channel c: distinct everywhere, never the engine's poison.
inline int32_t rampSample(unsigned f, unsigned c) {
  uint32_t v = (f + 1) * 2654435761u ^ (c * 0x01010101u);
  if (int32_t(v) == StandInEngine::kPoison) v ^= 1;
  return int32_t(v);
}

// Application bytes of frame f, channel c, in `format`, and the ring sample they must become.
inline void encodeSample(snd_pcm_format_t format, unsigned f, unsigned c, uint8_t* out,
                         int32_t* ring) {
  const int32_t v = rampSample(f, c);
  if (format == SND_PCM_FORMAT_S16_LE) {
    const int16_t s = int16_t(v >> 16);
    memcpy(out, &s, 2);
    *ring = tsoundcard::s16ToRing(s);
  } else if (format == SND_PCM_FORMAT_S32_LE) {
    memcpy(out, &v, 4);
    *ring = v;
  } else {
    const float x = float(v) / 2147483648.0f;
    memcpy(out, &x, 4);
    *ring = tsoundcard::floatToRing(x);
  }
}

struct FormatCase {
  snd_pcm_format_t format;
  const char* name;
};
inline const FormatCase kFormats[] = {{SND_PCM_FORMAT_S32_LE, "S32_LE"},
                               {SND_PCM_FORMAT_S16_LE, "S16_LE"},
                               {SND_PCM_FORMAT_FLOAT_LE, "FLOAT_LE"}};

}  // namespace plugintest
