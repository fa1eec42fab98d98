// The front of the tsoundcard ALSA PCM plug-in: the private record of one open PCM, the open
// function, the hardware constraints and the ioplug callbacks. libasound reaches it through
// the two exported entry symbols only; the rest is visible to the project's tests.
#pragma once

#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <poll.h>
#include <semaphore.h>

#include <atomic>
#include <cstdint>

#include "netaudio_soundcard/src/tsoundcard_engine_reach.h"

class NetaudioSoundcard;

struct snd_pcm_tsoundcard_t {
  snd_pcm_ioplug_t io;          // first: libasound hands it to every callback
  int pollWriteFd;              // socket-pair end the worker writes a wake byte to
  std::atomic<uint64_t> hwPtr;  // frames, within the ALSA buffer; kept by the worker
  unsigned channels;
  sem_t sem;  // start handshake with the worker
  NetaudioSoundcard* worker;
  unsigned sampleRate;
  unsigned samplesPerPeriod;
  bool semInitialized;
  tsoundcard::EngineReach reach;  // outlives every worker
  // The engine is gone for good: the PCM stays in ALSA's disconnected state until it is closed.
  bool disconnected;
  // Opened with SND_PCM_EINTR: a signal ends a start's wait for the engine with -EINTR.
  bool stopStartOnSignal;
};

// The open-mode bit of libasound's later headers that asks for -EINTR instead of a wait that
// goes on after a signal; the 1.2.8 headers lack the name.
#ifndef SND_PCM_EINTR
#define SND_PCM_EINTR 0x00000080
#endif

int netaudioSoundcardOpen(snd_pcm_t** pcmp, const char* name, snd_pcm_stream_t stream, int mode);
int netaudioSetHwConstraint(snd_pcm_tsoundcard_t* record, unsigned channels);
int makeNonblock(int fd);

int netaudioSoundcardStart(snd_pcm_ioplug_t* io);
int netaudioSoundcardStop(snd_pcm_ioplug_t* io);
int netaudioSoundcardPrepare(snd_pcm_ioplug_t* io);
snd_pcm_sframes_t netaudioSoundcardPointer(snd_pcm_ioplug_t* io);
snd_pcm_sframes_t netaudioSoundcardCaptureTransfer(snd_pcm_ioplug_t* io,
                                                   const snd_pcm_channel_area_t* areas,
                                                   snd_pcm_uframes_t offset,
                                                   snd_pcm_uframes_t size);
snd_pcm_sframes_t netaudioSoundcardPlaybackTransfer(snd_pcm_ioplug_t* io,
                                                    const snd_pcm_channel_area_t* areas,
                                                    snd_pcm_uframes_t offset,
                                                    snd_pcm_uframes_t size);
int netaudioSoundcardClose(snd_pcm_ioplug_t* io);
int netaudioHwParams(snd_pcm_ioplug_t* io, snd_pcm_hw_params_t* params);
int netaudioPollRevents(snd_pcm_ioplug_t* io, struct pollfd* pfds, unsigned int nfds,
                        unsigned short* revents);
int netaudioSoundcardDelay(snd_pcm_ioplug_t* io, snd_pcm_sframes_t* delayp);

// The callback tables of the two stream directions.
extern const snd_pcm_ioplug_callback_t netaudioCapturePcmCallback;
extern const snd_pcm_ioplug_callback_t netaudioPlaybackPcmCallback;
