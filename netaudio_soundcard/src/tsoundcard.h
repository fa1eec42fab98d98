// The worker of one tsoundcard PCM: per ALSA start a thread of its own connects to the engine's
// area, runs the period loop and, per batch of network periods, moves the due frames between
// the network rings and the intermediate buffer, advances the ALSA hardware pointer and wakes
// the application through the socket pair.
#pragma once

#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <semaphore.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "netaudio_soundcard/src/tsoundcard_area_probe.h"
#include "netaudio_soundcard/src/tsoundcard_engine_reach.h"
#include "netaudio_soundcard/src/tsoundcard_intermediatebuffer.h"
#include "tarvo/TarvoBuffers.h"

namespace tsoundcard {

// Name of the engine's area the plug-in uses.
constexpr const char* kAreaName = "TarvoEP";
// How long an ALSA start waits for the first network period.
constexpr unsigned kStartTimeoutMs = 5000;
// Pause before reconnecting after a period loop that ran.
constexpr unsigned kReconnectMs = 10;
// Bound of the worker's waits for a period: how long a stop waits for the worker while the
// engine is silent.
constexpr unsigned kWorkerWaitBoundMs = 20;

}  // namespace tsoundcard

class NetaudioSoundcard {
 public:
  // hwPtr, pollWriteFd, sem and reach belong to the PCM's record; io's format, channels,
  // stream and buffer size are the negotiated ones (the worker is made by hw_params). rate is
  // the area's rate at open.
  NetaudioSoundcard(snd_pcm_ioplug_t* io, std::atomic<uint64_t>& hwPtr, int pollWriteFd, sem_t* sem,
                    tsoundcard::EngineReach& reach, unsigned rate);
  // Stops a running thread first.
  ~NetaudioSoundcard();
  NetaudioSoundcard(const NetaudioSoundcard&) = delete;
  NetaudioSoundcard& operator=(const NetaudioSoundcard&) = delete;

  // ALSA start: ends a running thread, starts a new one and waits until it has handled its
  // first network period or ended. 0; -EIO when the engine did not deliver a period within
  // the start timeout. A signal that reaches the waiting thread does not end the wait (as
  // libasound's own waits and a sound card's blocking transfers go on after a handled signal),
  // unless stopOnSignal is set (the PCM was opened with SND_PCM_EINTR): then -EINTR at once.
  // The thread is stopped on both errors; after a timeout the engine is marked unreachable.
  // While it is marked, a start answers -ENODEV unless the engine moves within a few of its
  // periods (EngineReach::check).
  int start(bool stopOnSignal);
  // ALSA prepare: ends a running thread. -ENODEV, as for a sound card that went away, while
  // the area is missing, closed or settled on a layout that cannot move audio, and while the
  // engine is marked unreachable and does not move within a few of its periods; else 0.
  int prepare();
  // The thread body.
  void run();
  // Ends a running thread (returns once it has ended) and empties the intermediate buffer;
  // nothing happens without a thread.
  void stop();

  // Period callbacks.
  void work(unsigned periods);
  // periodCount: the period the next work call starts at (the period loop's own count).
  void reset(uint64_t periodCount);

  // The data-available flag of the last work call, cleared by reading it.
  bool pollDataAvailable();
  // Frames held by the intermediate buffer.
  unsigned numFramesInIntermediateBuffer();

  // Network side of a work call (the buffer's lock is held): frames moved.
  unsigned netaudioRxToBuffer(unsigned frames);
  unsigned bufferToNetaudioTx(unsigned frames);

  // The transfers: frames moved, or -EPIPE after a work call that moved fewer frames than were
  // due, until the next stop or prepare (libasound drops a transfer's error when the same call
  // moved frames before it; the pointer callback reports the xrun as well, so the application
  // sees it once, as the xrun state); -EINVAL when channels is not the PCM's channel count.
  snd_pcm_sframes_t alsaToBuffer(const void* p, snd_pcm_uframes_t frames, unsigned channels);
  snd_pcm_sframes_t bufferToAlsa(void* p, snd_pcm_uframes_t frames, unsigned channels);

  void setThreadPriority();

  // True when this worker was made for these negotiated parameters.
  bool matches(snd_pcm_format_t format, unsigned channels, snd_pcm_uframes_t bufferSize) const;
  bool isRunning() const { return mRunning.load(); }
  // The engine stopped delivering periods (or closed its area) after this start had begun:
  // the front reports an xrun so the application is not left waiting for ever.
  bool engineLost() const { return mEngineLost.load(); }
  // A work call moved fewer frames than were due since the last stop or prepare.
  bool xrunPending() const { return mXrun.load(); }

 private:
  void releaseStart();
  // Waits for the release of this start until the start timeout: 0, -ETIMEDOUT, or -EINTR
  // when a signal came and stopOnSignal is set.
  int waitForStart(bool stopOnSignal);
  // The playback side of a work call over `due` frames (the buffer's lock is held): what the
  // hardware pointer moves by.
  uint64_t playBatch(unsigned due);
  // The engine's period count now (the last counted one without an area).
  uint64_t enginePeriodCount() const;
  // Leading positions of this call's window of `due` that an engine at engineCount has taken.
  uint64_t positionsBehind(uint64_t engineCount, uint64_t due) const;
  void drainStartDoorbell();
  void markEngineLost();
  void wakeApplication();
  void replaceIntermediateBuffer();

  Tarvo::Buffers mBuffers;
  snd_pcm_ioplug_t* mIo;
  ssize_t mBytesPerSample;
  std::atomic<uint64_t>& mHwPtr;
  int mPollWriteFd;
  sem_t* mSem;
  unsigned mSamplesPerPeriod = 0;
  unsigned mSamplesPerChannel = 0;
  unsigned mTarvoTxHeadSamples = 0;
  unsigned mTarvoRxHeadSamples = 0;
  // The transmit head stands mTxLead samples after the position of mPeriodCount, the period
  // count after the last work call.
  unsigned mTxLead = 0;
  uint64_t mPeriodCount = 0;
  // No work call has run since the ALSA start (worker thread only, once started).
  bool mFirstWorkAfterStart = false;
  std::vector<int*> mTxChannels;
  std::vector<const int*> mRxChannels;
  std::atomic<bool> mRunning{false};
  std::unique_ptr<IntermediateBuffer> mIntermediateBuffer;
  unsigned mSampleRate;
  std::atomic<bool> mDataAvailable{false};
  std::atomic<bool> mXrun{false};

  // Parameters the worker was made for.
  snd_pcm_format_t mFormat;
  unsigned mChannels;
  snd_pcm_uframes_t mBufferSize;
  // The thread of the current start; joined by stop().
  std::thread mThread;
  // Set once this start's handshake has been released (first activation or end of the loop).
  std::atomic<bool> mStartReleased{true};
  // Rung with every release of the handshake: the start waits on it with poll, which a signal
  // always interrupts (a semaphore wait is restarted under SA_RESTART handlers).
  int mStartDoorbell = -1;
  // The PCM's knowledge of its engine beyond this worker.
  tsoundcard::EngineReach& mReach;
  std::atomic<bool> mEngineLost{false};
  // The wake-byte failure has been reported and no write has succeeded since.
  bool mWakeFailureReported = false;
};

// The front's entry points into the worker (the record is io->private_data).
int startNetaudioSoundcard(snd_pcm_ioplug_t* io);
void stopNetaudioSoundcard(snd_pcm_ioplug_t* io);
void netaudioSoundcardThread(snd_pcm_ioplug_t* io);
