// The plug-in in this process: opened through its open function (the same code libasound
// calls), driven with the ALSA API against the stand-in engine.
#include "plugin_fixture.h"

namespace plugintest {
namespace {

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

  captureStderr();
  ASSERT_EQ(netaudioHwParams(io, nullptr), 0);
  EXPECT_EQ(capturedStderr(),
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
  captureStderr();
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
  capturedStderr();

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
  captureStderr();
  cycle(SND_PCM_STREAM_PLAYBACK);  // the module stays loaded from here on
  const int fds = soundcard_test::countOpenDescriptors();
  const int threads = soundcard_test::countThreads();
  for (int i = 0; i < 1000; ++i) {
    cycle(i % 2 == 0 ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE);
    if (HasFatalFailure()) break;
  }
  EXPECT_EQ(soundcard_test::countOpenDescriptors(), fds);
  EXPECT_EQ(soundcard_test::countThreads(), threads);
  const std::string err = capturedStderr();
  EXPECT_EQ(countOf(err, "TSOUNDCARD HARDWARE PARAMETERS\n"), 1001u);
  snd_config_delete(config);
}

// Several network periods handed over at once move the pointer by every frame of them: what
// the application has read adds up to every period since the first one it saw.
TEST_F(PluginTest, BatchOfPeriodsAdvancesThePointerByAllItsFrames) {
  StandInEngine::Config c = soundcard_test::pluginEngineConfig();
  c.samplesPerPeriod = 64;
  makeEngine(c);
  PcmHandle h;
  ASSERT_EQ(netaudioSoundcardOpen(&h.pcm, "tarvo", SND_PCM_STREAM_CAPTURE, 0), 0);
  captureStderr();
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
  const std::string err = capturedStderr();
  EXPECT_EQ(err.find("WARNING"), std::string::npos) << err;
}

// A start that waited for a silent engine in vain marks the engine unreachable for the PCM, not
// for one worker: new hardware parameters (a new worker, and the prepare libasound makes with
// them) answer -ENODEV at once instead of letting the next start wait again, and the PCM is
// disconnected.
TEST_F(PluginTest, UnreachableEngineOutlivesNewHardwareParameters) {
  PcmHandle h;
  std::vector<int32_t> silence;
  ASSERT_NO_FATAL_FAILURE(startInVain(h, silence));
  EXPECT_EQ(configure(h.pcm, SND_PCM_FORMAT_S16_LE, 2), -ENODEV);
  EXPECT_EQ(snd_pcm_state(h.pcm), SND_PCM_STATE_DISCONNECTED);
  EXPECT_EQ(snd_pcm_prepare(h.pcm), -ENODEV);
  const std::string err = capturedStderr();
  EXPECT_EQ(countOf(err, "tsoundcard: network-audio engine not reachable\n"), 1u) << err;
}

// A look at an engine marked unreachable lasts a few of the engine's own periods: a running
// engine with 100 ms periods is found moving every time, and the mark goes; a silent one keeps
// it.
TEST_F(PluginTest, UnreachableLookLastsAFewEnginePeriods) {
  StandInEngine::Config c = soundcard_test::pluginEngineConfig();
  c.samplesPerPeriod = 4800;
  c.samplesPerChannel = 48000;
  makeEngine(c);
  clock->start();
  for (int i = 0; i < 10; ++i) {
    tsoundcard::EngineReach reach;
    reach.markUnreachable(tsoundcard::probeArea(tsoundcard::kAreaName));
    EXPECT_EQ(reach.check(tsoundcard::kAreaName), 0) << i;
    EXPECT_FALSE(reach.unreachable()) << i;
  }
  clock->stop();
  tsoundcard::EngineReach reach;
  reach.markUnreachable(tsoundcard::probeArea(tsoundcard::kAreaName));
  EXPECT_EQ(reach.check(tsoundcard::kAreaName), -ENODEV);
  EXPECT_TRUE(reach.unreachable());
}

// An engine stuck mid-reconfiguration, or reconfigured to a header that cannot carry audio,
// is an engine that stopped: the application gets an xrun. Recovering with prepare, it is told
// -ENODEV at once when the header cannot carry audio; an engine stuck mid-reconfiguration gets
// one start, which fails with -EIO after its bounded wait, and then -ENODEV at once. That
// -ENODEV disconnects the PCM for good: writes and prepare answer -ENODEV and a look at avail
// leaves it disconnected, also once the engine is sound again, when a new open plays.
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
    PcmHandle h;
    std::vector<int32_t> silence;
    ASSERT_NO_FATAL_FAILURE(startPlayingSilence(h, silence));

    clock->stop();
    c.spoil(*engine);
    clock->start();
    EXPECT_EQ(writeUntilFailure(h.pcm, silence), -EPIPE);
    if (c.oneStart) {
      ASSERT_EQ(snd_pcm_prepare(h.pcm), 0);
      ASSERT_EQ(snd_pcm_writei(h.pcm, silence.data(), kBufferFrames), kBufferFrames);
      EXPECT_EQ(snd_pcm_start(h.pcm), -EIO);
    }
    EXPECT_EQ(snd_pcm_prepare(h.pcm), -ENODEV);
    EXPECT_EQ(snd_pcm_state(h.pcm), SND_PCM_STATE_DISCONNECTED);
    EXPECT_EQ(snd_pcm_writei(h.pcm, silence.data(), kPeriodFrames), -ENODEV);
    snd_pcm_avail(h.pcm);
    EXPECT_EQ(snd_pcm_state(h.pcm), SND_PCM_STATE_DISCONNECTED);

    clock->stop();
    c.repair(*engine);
    clock->start();
    EXPECT_EQ(snd_pcm_prepare(h.pcm), -ENODEV);
    EXPECT_EQ(snd_pcm_writei(h.pcm, silence.data(), kPeriodFrames), -ENODEV);
    PcmHandle again;
    ASSERT_EQ(netaudioSoundcardOpen(&again.pcm, "tarvo", SND_PCM_STREAM_PLAYBACK, 0), 0);
    ASSERT_EQ(configure(again.pcm, SND_PCM_FORMAT_S32_LE, 2), 0);
    EXPECT_EQ(restartAndMovePeriod(again.pcm, silence.data()), 0);
    EXPECT_EQ(snd_pcm_drop(again.pcm), 0);
    const std::string err = capturedStderr();
    if (c.oneStart) {
      EXPECT_EQ(countOf(err, "tsoundcard: network-audio engine not reachable\n"), 1u) << err;
    }
    clock->stop();
  }
}

}  // namespace
}  // namespace plugintest
