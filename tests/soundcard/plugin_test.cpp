// The plug-in in this process: opened through its open function (the same code libasound
// calls), driven with the ALSA API against the stand-in engine.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "netaudio_soundcard/src/alsa_plugin.h"
#include "netaudio_soundcard/src/tsoundcard.h"
#include "netaudio_soundcard/src/tsoundcard_intermediatebuffer.h"
#include "soundcard_harness.h"

namespace {

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
int configure(snd_pcm_t* pcm, snd_pcm_format_t format, unsigned channels) {
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

size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Bytes of one sample of each format under test, and the ring value a sample becomes (and
// back).
size_t widthOf(snd_pcm_format_t f) { return f == SND_PCM_FORMAT_S16_LE ? 2 : 4; }

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IntermediateBuffer::bufferFullLogState = false;
    IntermediateBuffer::bufferEmptyLogState = false;
  }

  void makeEngine(StandInEngine::Config c = soundcard_test::pluginEngineConfig()) {
    clock.reset();
    engine.reset(new StandInEngine(c));
    ASSERT_EQ(engine->create(), 0);
    clock.reset(new EngineClock(*engine));
  }

  // Starts the PCM while a helper steps the engine until the start has returned.
  int startStepping(snd_pcm_t* pcm) {
    std::atomic<bool> started{false};
    std::thread stepper([&] {
      while (!started.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (!started.load()) engine->step(1);
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
};

// Transmit value for frame f of channel c: distinct everywhere, never the engine's poison.
int32_t rampSample(unsigned f, unsigned c) {
  uint32_t v = (f + 1) * 2654435761u ^ (c * 0x01010101u);
  if (int32_t(v) == StandInEngine::kPoison) v ^= 1;
  return int32_t(v);
}

// Application bytes of frame f, channel c, in `format`, and the ring sample they must become.
void encodeSample(snd_pcm_format_t format, unsigned f, unsigned c, uint8_t* out, int32_t* ring) {
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

TEST_F(PluginTest, ConstraintsFollowTheAreaAtOpen) {
  StandInEngine::Config c = soundcard_test::pluginEngineConfig();
  c.txChannels = 6;
  c.rxChannels = 4;
  makeEngine(c);
  struct Case {
    snd_pcm_stream_t stream;
    unsigned maxChannels;
  } cases[] = {{SND_PCM_STREAM_PLAYBACK, 6}, {SND_PCM_STREAM_CAPTURE, 4}};
  for (const Case& s : cases) {
    SCOPED_TRACE(s.stream == SND_PCM_STREAM_PLAYBACK ? "playback" : "capture");
    PcmHandle h;
    ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", s.stream, 0), 0);
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    ASSERT_GE(snd_pcm_hw_params_any(h.pcm, hw), 0);

    unsigned minCh = 0, maxCh = 0;
    snd_pcm_hw_params_get_channels_min(hw, &minCh);
    snd_pcm_hw_params_get_channels_max(hw, &maxCh);
    EXPECT_EQ(minCh, 1u);
    EXPECT_EQ(maxCh, s.maxChannels);

    auto format = [&](snd_pcm_format_t f) {
      return [&, f] { return snd_pcm_hw_params_test_format(h.pcm, hw, f); };
    };
    auto access = [&](snd_pcm_access_t a) {
      return [&, a] { return snd_pcm_hw_params_test_access(h.pcm, hw, a); };
    };
    auto rate = [&](unsigned r) {
      return [&, r] { return snd_pcm_hw_params_test_rate(h.pcm, hw, r, 0); };
    };
    auto periods = [&](unsigned n) {
      return [&, n] { return snd_pcm_hw_params_test_periods(h.pcm, hw, n, 0); };
    };
    auto channels = [&](unsigned n) {
      return [&, n] { return snd_pcm_hw_params_test_channels(h.pcm, hw, n); };
    };
    struct Test {
      const char* what;
      std::function<int()> call;
      bool accepted;
    } tests[] = {
        {"S32_LE", format(SND_PCM_FORMAT_S32_LE), true},
        {"S16_LE", format(SND_PCM_FORMAT_S16_LE), true},
        {"FLOAT_LE", format(SND_PCM_FORMAT_FLOAT_LE), true},
        {"U8", format(SND_PCM_FORMAT_U8), false},
        {"S24_LE", format(SND_PCM_FORMAT_S24_LE), false},
        {"48000 Hz", rate(48000), true},
        {"44100 Hz", rate(44100), false},
        {"RW interleaved", access(SND_PCM_ACCESS_RW_INTERLEAVED), true},
        {"RW non-interleaved", access(SND_PCM_ACCESS_RW_NONINTERLEAVED), false},
        {"mmap interleaved", access(SND_PCM_ACCESS_MMAP_INTERLEAVED), false},
        {"16 periods", periods(16), true},
        {"8 periods", periods(8), false},
        {"max channels", channels(s.maxChannels), true},
        {"one more channel", channels(s.maxChannels + 1), false},
    };
    for (const Test& t : tests) EXPECT_EQ(t.call() == 0, t.accepted) << t.what;

    // Period bytes: from 2 x 48 up to one network period of every channel at 4 bytes.
    ASSERT_EQ(snd_pcm_hw_params_set_format(h.pcm, hw, SND_PCM_FORMAT_S32_LE), 0);
    ASSERT_EQ(snd_pcm_hw_params_set_channels(h.pcm, hw, 1), 0);
    snd_pcm_uframes_t minPeriod = 0, maxPeriod = 0;
    snd_pcm_hw_params_get_period_size_min(hw, &minPeriod, nullptr);
    snd_pcm_hw_params_get_period_size_max(hw, &maxPeriod, nullptr);
    EXPECT_EQ(minPeriod, 2u * 48 / 4);
    EXPECT_EQ(maxPeriod, 48u * s.maxChannels);
  }
}

TEST_F(PluginTest, OpenWithoutTheEngineFailsAndHoldsNothing) {
  const int fds = soundcard_test::countOpenDescriptors();
  for (snd_pcm_stream_t stream : {SND_PCM_STREAM_PLAYBACK, SND_PCM_STREAM_CAPTURE}) {
    for (int i = 0; i < 20; ++i) {
      snd_pcm_t* pcm = nullptr;
      ASSERT_EQ(netaudioSoundcardOpen(&pcm, "tarvo", stream, 0), -1);
      EXPECT_EQ(pcm, nullptr);
    }
  }
  EXPECT_EQ(soundcard_test::countOpenDescriptors(), fds);
}

// A header that cannot carry audio in the stream's direction is refused at open like a
// missing engine: its constraints would restrict nothing and the stream would never move.
TEST_F(PluginTest, OpenRefusesAHeaderThatCannotCarryAudio) {
  struct Case {
    const char* what;
    void (*change)(Tarvo::buffer_header&);
    snd_pcm_stream_t stream;
  } cases[] = {
      {"period 0", [](Tarvo::buffer_header& h) { h.samples_per_period = 0; },
       SND_PCM_STREAM_PLAYBACK},
      {"rate 0", [](Tarvo::buffer_header& h) { h.samplerate = 0; }, SND_PCM_STREAM_CAPTURE},
      {"ring shorter than a period",
       [](Tarvo::buffer_header& h) { h.samples_per_period = h.samples_per_channel + 1; },
       SND_PCM_STREAM_PLAYBACK},
      {"ring length 0", [](Tarvo::buffer_header& h) { h.samples_per_channel = 0; },
       SND_PCM_STREAM_CAPTURE},
      {"no transmit channels", [](Tarvo::buffer_header& h) { h.num_channels[0] = 0; },
       SND_PCM_STREAM_PLAYBACK},
      {"no receive channels", [](Tarvo::buffer_header& h) { h.num_channels[1] = 0; },
       SND_PCM_STREAM_CAPTURE},
  };
  const int fds = soundcard_test::countOpenDescriptors();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    makeEngine();
    c.change(engine->header());
    snd_pcm_t* pcm = nullptr;
    EXPECT_EQ(netaudioSoundcardOpen(&pcm, "tarvo", c.stream, 0), -1);
    EXPECT_EQ(pcm, nullptr);
    engine.reset();
  }
  EXPECT_EQ(soundcard_test::countOpenDescriptors(), fds);
  // The other direction of a one-way area still opens.
  makeEngine();
  engine->header().num_channels[1] = 0;
  PcmHandle h;
  EXPECT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
}

// The callbacks on a record built by hand: argument checks, the wake-up path, delay, and when
// hw_params keeps or replaces the worker.
TEST_F(PluginTest, CallbacksOnAHandBuiltRecord) {
  auto record = std::make_unique<snd_pcm_tsoundcard_t>();
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  ASSERT_EQ(makeNonblock(fds[0]), 0);
  ASSERT_EQ(makeNonblock(fds[0]), 0);  // already non-blocking
  ASSERT_EQ(makeNonblock(fds[1]), 0);
  EXPECT_LT(makeNonblock(-1), 0);
  record->pollWriteFd = fds[0];
  record->io.poll_fd = fds[1];
  record->io.private_data = record.get();
  record->io.stream = SND_PCM_STREAM_PLAYBACK;
  record->io.format = SND_PCM_FORMAT_S16_LE;
  record->io.channels = 2;
  record->io.period_size = 192;
  record->io.buffer_size = 3072;
  record->sampleRate = 48000;
  ASSERT_EQ(sem_init(&record->sem, 0, 0), 0);
  snd_pcm_ioplug_t* io = &record->io;

  pollfd pfd[2] = {{fds[1], POLLIN, 0}, {fds[1], POLLIN, 0}};
  unsigned short revents = 7;
  EXPECT_EQ(netaudioPollRevents(io, pfd, 2, &revents), -EINVAL);
  EXPECT_EQ(netaudioPollRevents(io, nullptr, 1, &revents), -EINVAL);
  EXPECT_EQ(netaudioPollRevents(io, pfd, 1, nullptr), -EINVAL);
  EXPECT_EQ(revents, 7);
  EXPECT_EQ(netaudioPollRevents(io, pfd, 1, &revents), 0);
  EXPECT_EQ(revents, 0);
  snd_pcm_sframes_t delay = -1;
  EXPECT_EQ(netaudioSoundcardDelay(io, &delay), 0);
  EXPECT_EQ(delay, 0);

  ::testing::internal::CaptureStderr();
  ASSERT_EQ(netaudioHwParams(io, nullptr), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "TSOUNDCARD HARDWARE PARAMETERS\n"
            "Sample format: S16_LE\n"
            "Channels: 2\n"
            "Bytes per sample: 2\n"
            "Bytes per frame: 4\n"
            "Stream direction: Playback\n"
            "IO period size (frames) 192\n"
            "IO buffer size (frames) 3072\n");
  NetaudioSoundcard* first = record->worker;
  ASSERT_NE(first, nullptr);

  // A work call wakes the application once: one byte, one event.
  first->work(1);
  EXPECT_EQ(netaudioPollRevents(io, pfd, 1, &revents), 1);
  EXPECT_EQ(revents, POLLOUT);
  EXPECT_EQ(netaudioPollRevents(io, pfd, 1, &revents), 0);
  EXPECT_EQ(revents, 0);
  char byte;
  EXPECT_EQ(recv(fds[1], &byte, 1, MSG_DONTWAIT), -1);  // the byte was drained

  // The same parameters keep the worker; another format, channel count or buffer size gets
  // a worker made for them.
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(netaudioHwParams(io, nullptr), 0);
  EXPECT_EQ(record->worker, first);
  struct Change {
    snd_pcm_format_t format;
    unsigned channels;
    snd_pcm_uframes_t buffer;
  } changes[] = {{SND_PCM_FORMAT_FLOAT_LE, 2, 3072},
                 {SND_PCM_FORMAT_FLOAT_LE, 1, 3072},
                 {SND_PCM_FORMAT_FLOAT_LE, 1, 1536}};
  for (const Change& c : changes) {
    io->format = c.format;
    io->channels = c.channels;
    io->buffer_size = c.buffer;
    ASSERT_EQ(netaudioHwParams(io, nullptr), 0);
    ASSERT_NE(record->worker, nullptr);
    EXPECT_TRUE(record->worker->matches(c.format, c.channels, c.buffer));
    EXPECT_EQ(record->channels, c.channels);
  }
  ::testing::internal::GetCapturedStderr();

  // The capture direction reports readiness as POLLIN.
  io->stream = SND_PCM_STREAM_CAPTURE;
  record->worker->work(1);
  EXPECT_EQ(netaudioPollRevents(io, pfd, 1, &revents), 1);
  EXPECT_EQ(revents, POLLIN);

  delete record->worker;
  sem_destroy(&record->sem);
  close(fds[0]);
  close(fds[1]);
}

// The built module loaded by libasound from a configuration that names it: 1000 opens and
// closes (each with hw_params, which makes the worker) leave no descriptor and no thread.
TEST_F(PluginTest, ModuleOpenCloseCyclesDoNotLeak) {
  makeEngine();
  const std::string text = "pcm_type.tsoundcard.lib \"" + soundcard_test::pluginModulePath() +
                           "\"\npcm.tarvo { type tsoundcard }\n";
  snd_config_t* config = nullptr;
  snd_input_t* input = nullptr;
  ASSERT_EQ(snd_config_top(&config), 0);
  ASSERT_EQ(snd_input_buffer_open(&input, text.c_str(), ssize_t(text.size())), 0);
  ASSERT_EQ(snd_config_load(config, input), 0);
  snd_input_close(input);

  auto cycle = [&](snd_pcm_stream_t stream) {
    snd_pcm_t* pcm = nullptr;
    ASSERT_EQ(snd_pcm_open_lconf(&pcm, "tarvo", stream, 0, config), 0);
    ASSERT_EQ(configure(pcm, SND_PCM_FORMAT_S16_LE, 2), 0);
    ASSERT_EQ(snd_pcm_close(pcm), 0);
  };
  ::testing::internal::CaptureStderr();
  cycle(SND_PCM_STREAM_PLAYBACK);  // the module stays loaded from here on
  const int fds = soundcard_test::countOpenDescriptors();
  const int threads = soundcard_test::countThreads();
  for (int i = 0; i < 1000; ++i) {
    cycle(i % 2 == 0 ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE);
    if (HasFatalFailure()) break;
  }
  EXPECT_EQ(soundcard_test::countOpenDescriptors(), fds);
  EXPECT_EQ(soundcard_test::countThreads(), threads);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(countOf(err, "TSOUNDCARD HARDWARE PARAMETERS\n"), 1001u);
  snd_config_delete(config);
}

struct FormatCase {
  snd_pcm_format_t format;
  const char* name;
};
const FormatCase kFormats[] = {{SND_PCM_FORMAT_S32_LE, "S32_LE"},
                               {SND_PCM_FORMAT_S16_LE, "S16_LE"},
                               {SND_PCM_FORMAT_FLOAT_LE, "FLOAT_LE"}};

// Playback, stepped period by period: the application's frames reach the transmit rings of
// their channels, converted, contiguous from the first one, 5 ms ahead of the engine.
TEST_F(PluginTest, PlaybackReachesTheTransmitRingsContiguously) {
  for (const FormatCase& fc : kFormats) {
    SCOPED_TRACE(fc.name);
    makeEngine();
    PcmHandle h;
    ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
    ::testing::internal::CaptureStderr();
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
    const std::string err = ::testing::internal::GetCapturedStderr();
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
    ::testing::internal::CaptureStderr();
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
    const std::string err = ::testing::internal::GetCapturedStderr();
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

// A capture application that stops reading: the buffer overruns, the next read reports the
// xrun, and after the usual recovery frames arrive again.
TEST_F(PluginTest, ShortWorkCallReportsOneXrun) {
  makeEngine();
  PcmHandle h;
  ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_CAPTURE, 0), 0);
  ::testing::internal::CaptureStderr();
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
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("WARNING: writeNetaudioSamples: buffer overrun (ALSA hasn't read enough). "),
            std::string::npos)
      << err;
}

// Several network periods handed over at once move the pointer by every frame of them: what
// the application has read adds up to every period since the first one it saw.
TEST_F(PluginTest, BatchOfPeriodsAdvancesThePointerByAllItsFrames) {
  StandInEngine::Config c = soundcard_test::pluginEngineConfig();
  c.samplesPerPeriod = 64;
  makeEngine(c);
  PcmHandle h;
  ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_CAPTURE, 0), 0);
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(configure(h.pcm, SND_PCM_FORMAT_S32_LE, 1), 0);
  ASSERT_EQ(snd_pcm_nonblock(h.pcm, 1), 0);
  ASSERT_EQ(startStepping(h.pcm), 0);
  std::vector<int32_t> frames(kBufferFrames);
  int64_t firstIndex = -1;
  uint64_t read = 0;
  auto readUntilQuiet = [&] {
    do {
      snd_pcm_sframes_t n;
      while ((n = snd_pcm_readi(h.pcm, frames.data(), kBufferFrames)) > 0) {
        if (firstIndex < 0) firstIndex = uint32_t(frames[0]) & 0x07FFFFFFu;
        read += uint64_t(n);
      }
    } while (snd_pcm_wait(h.pcm, 500) > 0);
  };
  readUntilQuiet();
  engine->burst(3);
  readUntilQuiet();
  ASSERT_EQ(firstIndex % 64, 0);
  EXPECT_EQ(read, engine->periodCount() * 64 - uint64_t(firstIndex));
  ASSERT_EQ(snd_pcm_drop(h.pcm), 0);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.find("WARNING"), std::string::npos) << err;
}

// Repeated start/stop cycles against a running engine leave no thread and no descriptor
// behind, and the hardware pointer starts from 0 each time.
TEST_F(PluginTest, StartDropCyclesLeaveNothingBehind) {
  makeEngine();
  clock->start();
  PcmHandle h;
  ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
  ::testing::internal::CaptureStderr();
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
  EXPECT_EQ(soundcard_test::countThreads(), threads);
  ::testing::internal::GetCapturedStderr();
}

// The engine gone at start: start gives up with -EIO and one line instead of hanging, and
// prepare answers -ENODEV while the area is missing; an engine that comes back within the wait
// lets the start succeed.
TEST_F(PluginTest, StartWaitsForTheEngineWithinTheBound) {
  makeEngine();
  PcmHandle h;
  ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(configure(h.pcm, SND_PCM_FORMAT_S32_LE, 2), 0);
  std::vector<int32_t> silence(kBufferFrames * 2);
  const std::string configureLines = ::testing::internal::GetCapturedStderr();

  engine->destroy();
  ASSERT_EQ(snd_pcm_writei(h.pcm, silence.data(), kBufferFrames), kBufferFrames);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(snd_pcm_start(h.pcm), -EIO);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Connecting...\n"), std::string::npos) << err;
  EXPECT_NE(err.find("Error connecting to shared memory: ERROR is 2\nNo such file or directory\n"
                     "Trying to connect again...\n"),
            std::string::npos)
      << err;
  // The error is written once, however many retries the wait saw.
  EXPECT_EQ(err.find("Trying to connect again"), err.rfind("Trying to connect again"));
  EXPECT_NE(err.find("tsoundcard: network-audio engine not reachable\n"), std::string::npos);

  // Gone, as a sound card that was unplugged: prepare refuses until the area is back.
  EXPECT_EQ(snd_pcm_prepare(h.pcm), -ENODEV);

  // An area that is back but not yet delivering periods: the start waits for them.
  ASSERT_EQ(engine->create(), 0);
  ASSERT_EQ(snd_pcm_prepare(h.pcm), 0);
  ASSERT_EQ(snd_pcm_writei(h.pcm, silence.data(), kBufferFrames), kBufferFrames);
  std::thread comeback([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    clock->start();
  });
  ::testing::internal::CaptureStderr();
  const int started = snd_pcm_start(h.pcm);
  comeback.join();
  EXPECT_EQ(started, 0);
  ASSERT_EQ(snd_pcm_drop(h.pcm), 0);
  const std::string err2 = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err2.find("Connected\n"), std::string::npos) << err2;
  EXPECT_NE(err2.find("Activated\n"), std::string::npos) << err2;
}

// The engine stalls in mid-stream: the application gets an xrun instead of waiting for ever;
// after the engine resumes, a new start plays again and a drop waits for the thread.
TEST_F(PluginTest, EngineStallReportsAnXrunAndPlaybackResumes) {
  makeEngine();
  clock->start();
  PcmHandle h;
  ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(configure(h.pcm, SND_PCM_FORMAT_S32_LE, 2), 0);
  std::vector<int32_t> silence(kBufferFrames * 2);
  ASSERT_EQ(snd_pcm_writei(h.pcm, silence.data(), kBufferFrames), kBufferFrames);
  ASSERT_EQ(snd_pcm_start(h.pcm), 0);
  ASSERT_EQ(snd_pcm_writei(h.pcm, silence.data(), kPeriodFrames), kPeriodFrames);

  clock->stop();
  snd_pcm_sframes_t result = 0;
  for (int i = 0; i < 1000 && result >= 0; ++i) {
    result = snd_pcm_writei(h.pcm, silence.data(), kPeriodFrames);
  }
  EXPECT_EQ(result, -EPIPE);
  EXPECT_EQ(snd_pcm_state(h.pcm), SND_PCM_STATE_XRUN);

  clock->start();
  EXPECT_EQ(restartAndMovePeriod(h.pcm, silence.data()), 0);
  EXPECT_EQ(snd_pcm_drop(h.pcm), 0);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Deactivated\n"), std::string::npos) << err;
}

// An engine stuck mid-reconfiguration, or reconfigured to a header that cannot carry audio,
// is an engine that stopped: the application gets an xrun. Recovering with prepare, it is told
// -ENODEV at once when the header cannot carry audio; an engine stuck mid-reconfiguration gets
// one start, which fails with -EIO after its bounded wait, and then -ENODEV until it moves.
// Once the engine is sound again, prepare succeeds and playback resumes.
TEST_F(PluginTest, UnusableReconfigurationReportsAnXrunThenNoDevice) {
  struct Case {
    const char* what;
    void (*spoil)(StandInEngine&);
    void (*repair)(StandInEngine&);
    bool oneStart;
  } cases[] = {
      {"reset count left odd", [](StandInEngine& e) { e.reconfigure(nullptr, true); },
       [](StandInEngine& e) { e.finishReconfigure(); }, true},
      {"period 0",
       [](StandInEngine& e) {
         e.reconfigure([](Tarvo::buffer_header& h) { h.samples_per_period = 0; });
       },
       [](StandInEngine& e) {
         e.reconfigure([](Tarvo::buffer_header& h) { h.samples_per_period = 48; });
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    makeEngine();
    clock->start();
    PcmHandle h;
    ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(configure(h.pcm, SND_PCM_FORMAT_S32_LE, 2), 0);
    std::vector<int32_t> silence(kBufferFrames * 2);
    ASSERT_EQ(snd_pcm_writei(h.pcm, silence.data(), kBufferFrames), kBufferFrames);
    ASSERT_EQ(snd_pcm_start(h.pcm), 0);
    ASSERT_EQ(snd_pcm_writei(h.pcm, silence.data(), kPeriodFrames), kPeriodFrames);

    clock->stop();
    c.spoil(*engine);
    clock->start();
    snd_pcm_sframes_t result = 0;
    for (int i = 0; i < 1000 && result >= 0; ++i) {
      result = snd_pcm_writei(h.pcm, silence.data(), kPeriodFrames);
    }
    EXPECT_EQ(result, -EPIPE);
    if (c.oneStart) {
      ASSERT_EQ(snd_pcm_prepare(h.pcm), 0);
      ASSERT_EQ(snd_pcm_writei(h.pcm, silence.data(), kBufferFrames), kBufferFrames);
      EXPECT_EQ(snd_pcm_start(h.pcm), -EIO);
    }
    EXPECT_EQ(snd_pcm_prepare(h.pcm), -ENODEV);
    EXPECT_EQ(snd_pcm_prepare(h.pcm), -ENODEV);

    clock->stop();
    c.repair(*engine);
    clock->start();
    EXPECT_EQ(restartAndMovePeriod(h.pcm, silence.data()), 0);
    EXPECT_EQ(snd_pcm_drop(h.pcm), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    if (c.oneStart) {
      EXPECT_EQ(countOf(err, "tsoundcard: network-audio engine not reachable\n"), 1u) << err;
    }
    clock->stop();
  }
}

// The engine closes its area (magic 0) under a running capture: the application gets an xrun,
// the worker reconnects at the retry pace instead of spinning, and once the area is back a new
// start records again.
TEST_F(PluginTest, ClosedAreaReportsAnXrunAndIsRetriedSlowly) {
  makeEngine();
  clock->start();
  PcmHandle h;
  ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_CAPTURE, 0), 0);
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(configure(h.pcm, SND_PCM_FORMAT_S32_LE, 2), 0);
  ASSERT_EQ(snd_pcm_start(h.pcm), 0);
  std::vector<int32_t> frames(kBufferFrames * 2);
  ASSERT_EQ(snd_pcm_readi(h.pcm, frames.data(), kPeriodFrames), kPeriodFrames);

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
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_LT(countOf(err, "Disconnected\n"), 10u) << err;
  EXPECT_GE(countOf(err, "Disconnected\n"), 2u) << err;
}

}  // namespace
