#include "netaudio_soundcard/src/tsoundcard.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>

#include "netaudio_soundcard/src/alsa_plugin.h"
#include "netaudio_soundcard/src/tsoundcard_transmit_plan.h"
#include "tarvo/TarvoConnectionLoop.h"
#include "tarvo/TarvoLine.h"
#include "tarvo/TarvoPriority.h"
#include "tarvo/TarvoRing.h"
#include "tarvo/TarvoRunner.h"
#include "tarvo/TarvoTiming.h"

namespace {

unsigned clampToUnsigned(uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : unsigned(v); }

uint64_t monotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

// The signals the worker thread leaves to the application's threads: all but those the kernel
// raises on the faulting thread itself.
sigset_t applicationSignals() {
  sigset_t set;
  sigfillset(&set);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) sigdelset(&set, sig);
  return set;
}

// The engine's layout changed under a running stream: the process ends with status 1 after the
// message. It ends here, on the worker, without running the application's exit handlers: they
// would close this very PCM from its own thread.
[[noreturn]] void endProcessOnLayoutChange(const std::string& message) {
  Tarvo::writeLine(stderr, message);
  fflush(stderr);
  _exit(1);
}

}  // namespace

NetaudioSoundcard::NetaudioSoundcard(snd_pcm_ioplug_t* io, std::atomic<uint64_t>& hwPtr,
                                     int pollWriteFd, sem_t* sem,
                                     tsoundcard::EngineReach& reach, unsigned rate)
    : mIo(io),
      mBytesPerSample(snd_pcm_format_width(io->format) / 8),
      mHwPtr(hwPtr),
      mPollWriteFd(pollWriteFd),
      mSem(sem),
      mSampleRate(rate),
      mFormat(io->format),
      mChannels(io->channels),
      mBufferSize(io->buffer_size),
      mReach(reach) {
  replaceIntermediateBuffer();
  mStartDoorbell = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (mStartDoorbell < 0) throw std::runtime_error("eventfd");
}

NetaudioSoundcard::~NetaudioSoundcard() {
  stop();
  if (mStartDoorbell >= 0) close(mStartDoorbell);
}

bool NetaudioSoundcard::matches(snd_pcm_format_t format, unsigned channels,
                                snd_pcm_uframes_t bufferSize) const {
  return format == mFormat && channels == mChannels && bufferSize == mBufferSize;
}

void NetaudioSoundcard::replaceIntermediateBuffer() {
  mIntermediateBuffer.reset(new IntermediateBuffer(mIo->channels, clampToUnsigned(mIo->buffer_size),
                                                   mIo->stream, mSampleRate));
}

void NetaudioSoundcard::setThreadPriority() { setTarvoPriority("The soundcard"); }

void NetaudioSoundcard::releaseStart() {
  if (mStartReleased.exchange(true)) return;
  sem_post(mSem);
  const uint64_t one = 1;
  if (write(mStartDoorbell, &one, sizeof one) != ssize_t(sizeof one)) {
    // Only a counter at its maximum refuses; the start is woken already.
  }
}

void NetaudioSoundcard::drainStartDoorbell() {
  uint64_t count;
  while (read(mStartDoorbell, &count, sizeof count) == ssize_t(sizeof count)) {
  }
}

int NetaudioSoundcard::waitForStart(bool stopOnSignal) {
  const uint64_t deadline = monotonicMs() + tsoundcard::kStartTimeoutMs;
  for (;;) {
    if (sem_trywait(mSem) == 0) return 0;
    const uint64_t now = monotonicMs();
    if (now >= deadline) return -ETIMEDOUT;
    pollfd bell{mStartDoorbell, POLLIN, 0};
    const int ready = poll(&bell, 1, int(deadline - now));
    if (ready < 0 && errno == EINTR && stopOnSignal) return -EINTR;
    if (ready > 0) drainStartDoorbell();
  }
}

int NetaudioSoundcard::start(bool stopOnSignal) {
  stop();
  if (mReach.unreachable()) {
    const int err = mReach.check(tsoundcard::kAreaName);
    if (err != 0) return err;
  }
  mStartReleased = false;
  mHwPtr = 0;
  mFirstWorkAfterStart = true;
  mRunning = true;
  // The thread inherits a mask that leaves every signal to the application's threads: a
  // handler of the application never runs on the worker, and a signal reaches the start wait.
  const sigset_t blocked = applicationSignals();
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  try {
    mThread = std::thread(netaudioSoundcardThread, mIo);
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    mRunning = false;
    mStartReleased = true;
    return -EAGAIN;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  const int waited = waitForStart(stopOnSignal);
  if (waited == 0) return 0;
  stop();
  // A signal cut the wait short: that says nothing about the engine, which may be a period
  // away from its first one.
  if (waited == -EINTR) return -EINTR;
  mReach.markUnreachable(tsoundcard::probeArea(tsoundcard::kAreaName));
  Tarvo::writeLine(stderr, "tsoundcard: network-audio engine not reachable");
  return -EIO;
}

int NetaudioSoundcard::prepare() {
  stop();
  return mReach.check(tsoundcard::kAreaName);
}

void NetaudioSoundcard::stop() {
  if (!mThread.joinable()) return;
  mRunning = false;
  if (mThread.get_id() == std::this_thread::get_id()) {
    // Reached from the worker's own thread (a callback of the period loop): the loop ends at
    // its next check; a thread cannot wait for itself.
    mThread.detach();
    return;
  }
  mThread.join();
  // A release nobody waited for (the start gave up) must not satisfy the next start.
  while (sem_trywait(mSem) == 0) {
  }
  drainStartDoorbell();
  mHwPtr = 0;
  mDataAvailable = false;
  mXrun = false;
  mEngineLost = false;
  replaceIntermediateBuffer();
}

void NetaudioSoundcard::run() {
  setThreadPriority();
  mHwPtr = 0;
  Tarvo::Runner runner(mBuffers);
  runner.setWaitBoundMs(tsoundcard::kWorkerWaitBoundMs);
  Tarvo::ConnectionLoop loop(mBuffers, runner, tsoundcard::kAreaName, mRunning);
  loop.work = [this](unsigned periods) { work(periods); };
  loop.reset = [this, &runner] { reset(runner.lastPeriodCount()); };
  loop.onActiveChanged = [this](bool active) {
    if (active) {
      mEngineLost = false;
      releaseStart();
    } else {
      markEngineLost();
    }
  };
  loop.afterRun = [this] {
    if (mRunning.load()) markEngineLost();
  };
  loop.retryPauseMs = 1000;
  loop.pauseAfterRunMs = tsoundcard::kReconnectMs;
  Tarvo::runConnectionLoop(loop);
  cleanupTarvoPriority();
  releaseStart();
}

void NetaudioSoundcard::reset(uint64_t periodCount) {
  const volatile Tarvo::buffer_header* header = mBuffers.getHeader();
  if (header == nullptr) return;
  const unsigned oldRate = mSampleRate;
  const bool capture = mIo->stream == SND_PCM_STREAM_CAPTURE;
  const unsigned networkChannels = header->num_channels[capture ? Tarvo::kRx : Tarvo::kTx];
  mSamplesPerPeriod = header->samples_per_period;
  mSamplesPerChannel = header->samples_per_channel;
  mSampleRate = header->samplerate;

  mTxChannels.clear();
  for (unsigned i = 0; i < mBuffers.getTxChannelCount(); ++i) {
    mTxChannels.push_back(mBuffers.getTarvoTxChannel(i));
  }
  mRxChannels.clear();
  for (unsigned i = 0; i < mBuffers.getRxChannelCount(); ++i) {
    mRxChannels.push_back(mBuffers.getTarvoRxChannel(i));
  }

  mTxLead = tsoundcard::transmitLeadSamples(mSampleRate, mSamplesPerPeriod, mSamplesPerChannel);
  mPeriodCount = periodCount;
  mTarvoRxHeadSamples = Tarvo::ringPosition(periodCount, mSamplesPerPeriod, mSamplesPerChannel);
  mTarvoTxHeadSamples =
      Tarvo::ringPosition(periodCount, mSamplesPerPeriod, mSamplesPerChannel, mTxLead);

  if (mSampleRate != 0 && mSampleRate != oldRate) {
    endProcessOnLayoutChange("Detected change to sample rate from " + std::to_string(oldRate) +
                             " to " + std::to_string(mSampleRate) + " - exiting.");
  }
  if (networkChannels < mIo->channels) {
    endProcessOnLayoutChange("Detected change to number of channels from " +
                             std::to_string(mIo->channels) + " to " +
                             std::to_string(networkChannels) + " - exiting.");
  }
}

void NetaudioSoundcard::work(unsigned periods) {
  const uint64_t due = uint64_t(periods) * mSamplesPerPeriod;
  const unsigned frames = clampToUnsigned(due);
  mPeriodCount += periods;
  std::lock_guard<std::mutex> lock(mIntermediateBuffer->mutex());
  uint64_t pointerAdvance = due;
  if (mIo->stream == SND_PCM_STREAM_CAPTURE) {
    if (netaudioRxToBuffer(frames) < due) mXrun = true;
  } else {
    pointerAdvance = playBatch(frames);
    if (due > frames) mXrun = true;
  }
  mFirstWorkAfterStart = false;
  if (due > frames && mSamplesPerChannel != 0) {
    const unsigned rest = unsigned((due - frames) % mSamplesPerChannel);
    mTarvoRxHeadSamples = unsigned((uint64_t(mTarvoRxHeadSamples) + rest) % mSamplesPerChannel);
    mTarvoTxHeadSamples = unsigned((uint64_t(mTarvoTxHeadSamples) + rest) % mSamplesPerChannel);
  }
  const uint64_t bufferSize = mIo->buffer_size;
  if (bufferSize != 0) mHwPtr = (mHwPtr.load() + pointerAdvance % bufferSize) % bufferSize;
  // After the pointer: whoever sees the flag sees the frames.
  mDataAvailable = true;

  wakeApplication();
}

// Frames land only on positions the engine has still to take. A call that comes after the engine
// took positions of its window (a late wake-up) writes nothing there: the frames meant for them
// are dropped and the call goes on at the engine's next position, and the loss is reported as an
// xrun, never silently. An engine that moves on while the call writes may take positions before
// they are written: that is reported as well. The first call after a start plays what the
// application wrote before the start at the end of its window and moves the pointer by that
// alone (see planPlaybackBatch).
uint64_t NetaudioSoundcard::playBatch(unsigned due) {
  const uint64_t engineBefore = enginePeriodCount();
  const unsigned channels = mIo->channels;
  const uint64_t held = channels == 0 ? 0 : mIntermediateBuffer->getNumSamplesInBuffer() / channels;
  const uint64_t behind = positionsBehind(engineBefore, due);
  const tsoundcard::PlaybackBatch batch =
      tsoundcard::planPlaybackBatch(due, behind, held, mFirstWorkAfterStart);
  mIntermediateBuffer->dropFrames(mIo->format, unsigned(batch.dropped), channels);
  if (mSamplesPerChannel != 0) {
    mTarvoTxHeadSamples =
        unsigned((uint64_t(mTarvoTxHeadSamples) + batch.skipped) % mSamplesPerChannel);
  }
  const unsigned moved = bufferToNetaudioTx(unsigned(batch.frames));
  const uint64_t engineAfter = enginePeriodCount();
  const bool overtaken = engineAfter != engineBefore && positionsBehind(engineAfter, due) > behind;
  if (batch.dropped > 0 || moved < batch.frames || overtaken) mXrun = true;
  return batch.pointerAdvance;
}

uint64_t NetaudioSoundcard::enginePeriodCount() const {
  const volatile Tarvo::buffer_header* header = mBuffers.getHeader();
  return header != nullptr ? uint64_t(header->period_count) : mPeriodCount;
}

uint64_t NetaudioSoundcard::positionsBehind(uint64_t engineCount, uint64_t due) const {
  const uint64_t periodsPast = engineCount > mPeriodCount ? engineCount - mPeriodCount : 0;
  return tsoundcard::positionsBehindEngine(periodsPast, mSamplesPerPeriod, mTxLead, due);
}

void NetaudioSoundcard::wakeApplication() {
  const char wake = 1;
  if (write(mPollWriteFd, &wake, 1) == 1) {
    mWakeFailureReported = false;
  } else if (!mWakeFailureReported) {
    // The application is not polling; once is enough until it does again.
    mWakeFailureReported = true;
    perror("Netaudiosoundcard Failed to write poll file descriptor");
  }
}

void NetaudioSoundcard::markEngineLost() {
  if (mEngineLost.exchange(true)) return;
  mDataAvailable = true;
  wakeApplication();
}

bool NetaudioSoundcard::pollDataAvailable() { return mDataAvailable.exchange(false); }

unsigned NetaudioSoundcard::numFramesInIntermediateBuffer() {
  std::lock_guard<std::mutex> lock(mIntermediateBuffer->mutex());
  if (mIo->channels == 0) return 0;
  return mIntermediateBuffer->getNumSamplesInBuffer() / mIo->channels;
}

unsigned NetaudioSoundcard::netaudioRxToBuffer(unsigned frames) {
  return mIntermediateBuffer->writeNetaudioSamples(mIo->format, frames, mRxChannels, mIo->channels,
                                                   mTarvoRxHeadSamples, mSamplesPerChannel);
}

unsigned NetaudioSoundcard::bufferToNetaudioTx(unsigned frames) {
  return mIntermediateBuffer->readNetaudioSamples(mIo->format, frames, mTxChannels, mIo->channels,
                                                  mTarvoTxHeadSamples, mSamplesPerChannel);
}

snd_pcm_sframes_t NetaudioSoundcard::alsaToBuffer(const void* p, snd_pcm_uframes_t frames,
                                                  unsigned channels) {
  if (channels == 0 || channels != mIo->channels) return -EINVAL;
  if (mXrun.load()) return -EPIPE;
  const uint32_t samples = clampToUnsigned(uint64_t(frames) * channels) / channels * channels;
  return snd_pcm_sframes_t(mIntermediateBuffer->writeAlsaSamples(p, samples, mBytesPerSample) /
                           channels);
}

snd_pcm_sframes_t NetaudioSoundcard::bufferToAlsa(void* p, snd_pcm_uframes_t frames,
                                                  unsigned channels) {
  if (channels == 0 || channels != mIo->channels) return -EINVAL;
  if (mXrun.load()) return -EPIPE;
  const uint32_t samples = clampToUnsigned(uint64_t(frames) * channels) / channels * channels;
  return snd_pcm_sframes_t(mIntermediateBuffer->readAlsaSamples(p, samples, mBytesPerSample) /
                           channels);
}

void netaudioSoundcardThread(snd_pcm_ioplug_t* io) {
  auto* record = static_cast<snd_pcm_tsoundcard_t*>(io->private_data);
  if (record != nullptr && record->worker != nullptr) record->worker->run();
}

int startNetaudioSoundcard(snd_pcm_ioplug_t* io) {
  auto* record = static_cast<snd_pcm_tsoundcard_t*>(io->private_data);
  if (record == nullptr || record->worker == nullptr) return -EBADFD;
  return record->worker->start(record->stopStartOnSignal);
}

void stopNetaudioSoundcard(snd_pcm_ioplug_t* io) {
  auto* record = static_cast<snd_pcm_tsoundcard_t*>(io->private_data);
  if (record != nullptr && record->worker != nullptr) record->worker->stop();
}
