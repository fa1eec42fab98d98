#include "netaudio_soundcard/src/alsa_plugin.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>
#include <string>

#include "netaudio_soundcard/src/tsoundcard.h"
#include "tarvo/TarvoBuffers.h"
#include "tarvo/TarvoLine.h"

namespace {

constexpr unsigned kIoplugVersion = 0x10002;
constexpr unsigned kPeriods = 16;

snd_pcm_tsoundcard_t* recordOf(snd_pcm_ioplug_t* io) {
  return static_cast<snd_pcm_tsoundcard_t*>(io->private_data);
}

// Releases whatever a record holds, also a half-built one.
void releaseRecord(snd_pcm_tsoundcard_t* record) {
  delete record->worker;
  record->worker = nullptr;
  if (record->pollWriteFd >= 0) close(record->pollWriteFd);
  if (record->io.poll_fd >= 0) close(record->io.poll_fd);
  if (record->semInitialized) sem_destroy(&record->sem);
  delete record;
}

// The engine is gone for good (what prepare answers -ENODEV for): the PCM takes ALSA's
// disconnected state, in which libasound answers transfers, avail, start and prepare with
// -ENODEV, so that an application that shrugs off a failed prepare ends at its next write
// instead of writing on for ever. The callbacks keep to it until the PCM is closed; a new open
// works once the engine is back.
// Leaves a wake byte in the poll socket, unless one is there already: the descriptor stays
// readable, so that every poll of the application returns at once and finds the error, as the
// descriptor of a device that went away does.
void keepPollReadable(snd_pcm_tsoundcard_t* record) {
  char pending;
  if (recv(record->io.poll_fd, &pending, 1, MSG_PEEK | MSG_DONTWAIT) == 1) return;
  const char wake = 1;
  if (write(record->pollWriteFd, &wake, 1) != 1) {
    // A full socket is readable already.
  }
}

int disconnect(snd_pcm_tsoundcard_t* record) {
  record->disconnected = true;
  keepPollReadable(record);
  snd_pcm_ioplug_set_state(&record->io, SND_PCM_STATE_DISCONNECTED);
  return -ENODEV;
}

// A worker's answer, with -ENODEV taken as the engine gone for good.
int disconnectOnNoDevice(snd_pcm_tsoundcard_t* record, int result) {
  return result == -ENODEV ? disconnect(record) : result;
}

// A start that waited its bound for the engine in vain leaves the PCM in the xrun state with its
// descriptor readable: every poll reports POLLERR and snd_pcm_wait answers -EPIPE at once, so
// that a polling application calls back and recovers with prepare, which looks whether the
// engine moves again (-ENODEV when it does not). Left prepared with a full buffer, the PCM
// would keep such an application waiting for ever on a descriptor nobody writes to, and a
// write would find no room and no error.
int giveUpStart(snd_pcm_tsoundcard_t* record, int result) {
  snd_pcm_ioplug_set_state(&record->io, SND_PCM_STATE_XRUN);
  keepPollReadable(record);
  return result;
}

// The first area holds every channel interleaved: the address of frame `offset`.
uint8_t* frameAddress(const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset) {
  return static_cast<uint8_t*>(areas->addr) +
         (uint64_t(areas->first) + uint64_t(offset) * areas->step) / 8;
}

}  // namespace

const snd_pcm_ioplug_callback_t netaudioCapturePcmCallback = [] {
  snd_pcm_ioplug_callback_t c{};
  c.start = netaudioSoundcardStart;
  c.stop = netaudioSoundcardStop;
  c.prepare = netaudioSoundcardPrepare;
  c.pointer = netaudioSoundcardPointer;
  c.transfer = netaudioSoundcardCaptureTransfer;
  c.close = netaudioSoundcardClose;
  c.hw_params = netaudioHwParams;
  c.poll_revents = netaudioPollRevents;
  c.delay = netaudioSoundcardDelay;
  return c;
}();

const snd_pcm_ioplug_callback_t netaudioPlaybackPcmCallback = [] {
  snd_pcm_ioplug_callback_t c = netaudioCapturePcmCallback;
  c.transfer = netaudioSoundcardPlaybackTransfer;
  return c;
}();

int makeNonblock(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return flags;
  if (flags & O_NONBLOCK) return 0;
  return fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

int netaudioSetHwConstraint(snd_pcm_tsoundcard_t* record, unsigned channels) {
  static const unsigned int accessList[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
  static const unsigned int formatList[] = {SND_PCM_FORMAT_S32_LE, SND_PCM_FORMAT_S16_LE,
                                            SND_PCM_FORMAT_FLOAT_LE};
  const unsigned int rateList[] = {record->sampleRate};
  const uint64_t spp = record->samplesPerPeriod;
  const uint64_t maxPeriodBytes = spp * channels * 4;
  snd_pcm_ioplug_t* io = &record->io;
  int err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, accessList);
  if (err < 0) return err;
  err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, 3, formatList);
  if (err < 0) return err;
  err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 1, channels);
  if (err < 0) return err;
  err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_RATE, 1, rateList);
  if (err < 0) return err;
  err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES,
                                        unsigned(std::min<uint64_t>(2 * spp, UINT32_MAX)),
                                        unsigned(std::min<uint64_t>(maxPeriodBytes, UINT32_MAX)));
  if (err < 0) return err;
  return snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, kPeriods, kPeriods);
}

int netaudioSoundcardOpen(snd_pcm_t** pcmp, const char* name, snd_pcm_stream_t stream, int mode) {
  auto* record = new (std::nothrow) snd_pcm_tsoundcard_t();
  if (record == nullptr) return -ENOMEM;
  record->pollWriteFd = -1;
  record->io.poll_fd = -1;
  record->io.version = kIoplugVersion;
  record->io.name = "ALSA <-> Tarvo PCM I/O Plugin";
  record->io.callback =
      stream == SND_PCM_STREAM_CAPTURE ? &netaudioCapturePcmCallback : &netaudioPlaybackPcmCallback;
  record->io.private_data = record;
  record->io.mmap_rw = 0;
  record->stopStartOnSignal = (mode & SND_PCM_EINTR) != 0;

  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
    const int err = -errno;
    releaseRecord(record);
    return err;
  }
  record->pollWriteFd = fds[0];
  record->io.poll_fd = fds[1];
  record->io.poll_events = POLLIN;
  if (makeNonblock(fds[0]) < 0 || makeNonblock(fds[1]) < 0 || sem_init(&record->sem, 0, 0) != 0) {
    const int err = -errno;
    releaseRecord(record);
    return err;
  }
  record->semInitialized = true;

  int err = snd_pcm_ioplug_create(&record->io, name, stream, mode);
  if (err < 0) {
    perror("netaudioSoundcardOpen - call to snd_pcm_ioplug_create failed");
    releaseRecord(record);
    return err;
  }
  // From here on, deleting the PCM calls the close callback, which releases the record.

  // An area that is missing, or whose layout cannot carry audio in this direction (no
  // channels, a zero rate or period, rings that do not fit), counts as an engine that is not
  // reachable: the constraints built from it would restrict nothing and the stream would never
  // move a frame.
  unsigned channels = 0;
  {
    Tarvo::Buffers area;
    bool usable = area.connect(tsoundcard::kAreaName, false) == 0 && area.refresh();
    if (usable) {
      const volatile Tarvo::buffer_header* header = area.getHeader();
      channels = header->num_channels[stream == SND_PCM_STREAM_CAPTURE ? Tarvo::kRx : Tarvo::kTx];
      record->sampleRate = header->samplerate;
      record->samplesPerPeriod = header->samples_per_period;
      usable = channels != 0 && Tarvo::layoutCarriesAudio(*header);
    }
    if (!usable) {
      snd_pcm_ioplug_delete(&record->io);
      return -1;
    }
  }

  err = netaudioSetHwConstraint(record, channels);
  if (err < 0) {
    perror("netaudioSoundcardOpen - call to netaudioSetHwConstraint failed");
    snd_pcm_ioplug_delete(&record->io);
    return err;
  }
  *pcmp = record->io.pcm;
  return 0;
}

int netaudioSoundcardStart(snd_pcm_ioplug_t* io) {
  snd_pcm_tsoundcard_t* record = recordOf(io);
  if (record->disconnected) return disconnect(record);
  int result;
  try {
    result = disconnectOnNoDevice(record, startNetaudioSoundcard(io));
  } catch (...) {
    return -EIO;
  }
  if (result < 0 && !record->disconnected && record->reach.unreachable()) {
    return giveUpStart(record, result);
  }
  return result;
}

int netaudioSoundcardStop(snd_pcm_ioplug_t* io) {
  try {
    stopNetaudioSoundcard(io);
  } catch (...) {
    return -EIO;
  }
  return 0;
}

// Recovery from an xrun goes through prepare without a stop: the thread of the failed start
// must end there, or it would go on moving the pointer and take the frames written for the
// next start. An engine that went away fails prepare (-ENODEV) and disconnects the PCM, so that
// applications which recover every error with prepare end instead of retrying for ever.
int netaudioSoundcardPrepare(snd_pcm_ioplug_t* io) {
  snd_pcm_tsoundcard_t* record = recordOf(io);
  if (record->disconnected) return disconnect(record);
  NetaudioSoundcard* worker = record->worker;
  if (worker == nullptr) return 0;
  try {
    return disconnectOnNoDevice(record, worker->prepare());
  } catch (...) {
    return -EIO;
  }
}

// A shortfall of a work call, or an engine that stopped delivering periods, puts the PCM into
// the xrun state, from which applications recover with prepare and start. A disconnected PCM
// keeps its position: libasound 1.2.8 takes any error here for an xrun, which would undo the
// disconnected state.
snd_pcm_sframes_t netaudioSoundcardPointer(snd_pcm_ioplug_t* io) {
  snd_pcm_tsoundcard_t* record = recordOf(io);
  NetaudioSoundcard* worker = record->worker;
  if (!record->disconnected && worker != nullptr &&
      (worker->xrunPending() || worker->engineLost())) {
    return -EPIPE;
  }
  return snd_pcm_sframes_t(record->hwPtr.load());
}

snd_pcm_sframes_t netaudioSoundcardCaptureTransfer(snd_pcm_ioplug_t* io,
                                                   const snd_pcm_channel_area_t* areas,
                                                   snd_pcm_uframes_t offset,
                                                   snd_pcm_uframes_t size) {
  snd_pcm_tsoundcard_t* record = recordOf(io);
  if (record->disconnected) return disconnect(record);
  NetaudioSoundcard* worker = record->worker;
  if (worker == nullptr || areas == nullptr) return -EBADFD;
  return worker->bufferToAlsa(frameAddress(areas, offset), size, io->channels);
}

snd_pcm_sframes_t netaudioSoundcardPlaybackTransfer(snd_pcm_ioplug_t* io,
                                                    const snd_pcm_channel_area_t* areas,
                                                    snd_pcm_uframes_t offset,
                                                    snd_pcm_uframes_t size) {
  snd_pcm_tsoundcard_t* record = recordOf(io);
  if (record->disconnected) return disconnect(record);
  NetaudioSoundcard* worker = record->worker;
  if (worker == nullptr || areas == nullptr) return -EBADFD;
  return worker->alsaToBuffer(frameAddress(areas, offset), size, io->channels);
}

int netaudioSoundcardClose(snd_pcm_ioplug_t* io) {
  snd_pcm_tsoundcard_t* record = recordOf(io);
  try {
    stopNetaudioSoundcard(io);
  } catch (...) {
  }
  releaseRecord(record);
  return 0;
}

int netaudioHwParams(snd_pcm_ioplug_t* io, snd_pcm_hw_params_t* /*params*/) {
  snd_pcm_tsoundcard_t* record = recordOf(io);
  if (record->disconnected) return -ENODEV;
  record->channels = io->channels;
  const unsigned bytesPerSample = unsigned(snd_pcm_format_physical_width(io->format)) / 8;
  char lines[512];
  const int n = snprintf(
      lines, sizeof lines,
      "TSOUNDCARD HARDWARE PARAMETERS\n"
      "Sample format: %s\n"
      "Channels: %u\n"
      "Bytes per sample: %u\n"
      "Bytes per frame: %u\n"
      "Stream direction: %s\n"
      "IO period size (frames) %lu\n"
      "IO buffer size (frames) %lu\n",
      snd_pcm_format_name(io->format), record->channels, bytesPerSample,
      bytesPerSample * io->channels, io->stream == SND_PCM_STREAM_PLAYBACK ? "Playback" : "Capture",
      static_cast<unsigned long>(io->period_size), static_cast<unsigned long>(io->buffer_size));
  if (n > 0) Tarvo::writeText(stderr, std::string(lines, std::min<size_t>(n, sizeof lines - 1)));

  // A worker is made for one format, channel count and buffer size; new parameters get a new
  // one (hw_params is not called while the PCM runs).
  if (record->worker != nullptr &&
      !record->worker->matches(io->format, io->channels, io->buffer_size)) {
    delete record->worker;
    record->worker = nullptr;
  }
  if (record->worker == nullptr) {
    try {
      record->worker = new NetaudioSoundcard(io, record->hwPtr, record->pollWriteFd, &record->sem,
                                             record->reach, record->sampleRate);
    } catch (...) {
      return -ENOMEM;
    }
  }
  return 0;
}

int netaudioPollRevents(snd_pcm_ioplug_t* io, struct pollfd* pfds, unsigned int nfds,
                        unsigned short* revents) {
  if (pfds == nullptr || nfds != 1 || revents == nullptr) return -EINVAL;
  *revents = 0;
  snd_pcm_tsoundcard_t* record = recordOf(io);
  // Drains one wake byte of our own socket; never blocks. The flags are read after it: the
  // worker sets them before it writes the byte that announces them.
  char scratch;
  (void)recv(io->poll_fd, &scratch, 1, MSG_DONTWAIT);
  NetaudioSoundcard* worker = record->worker;
  // A disconnected PCM, a running one whose engine stopped delivering periods and one whose
  // start waited for the engine in vain answer every poll with an error until the application
  // acts on it: the latter two as an xrun (which a prepare then tells from an engine gone for
  // good), the former until it is closed.
  const bool lost = worker != nullptr && worker->engineLost();
  if (record->disconnected || lost || record->reach.unreachable()) {
    if (!record->disconnected &&
        (io->state == SND_PCM_STATE_RUNNING || io->state == SND_PCM_STATE_DRAINING)) {
      snd_pcm_ioplug_set_state(io, SND_PCM_STATE_XRUN);
    }
    keepPollReadable(record);
    *revents = POLLERR;
    return 0;
  }
  if (worker != nullptr && worker->pollDataAvailable()) {
    *revents = io->stream == SND_PCM_STREAM_CAPTURE ? POLLIN : POLLOUT;
    return 1;
  }
  return 0;
}

int netaudioSoundcardDelay(snd_pcm_ioplug_t* io, snd_pcm_sframes_t* delayp) {
  if (delayp == nullptr) return -EINVAL;
  *delayp = 0;
  NetaudioSoundcard* worker = recordOf(io)->worker;
  if (worker != nullptr) *delayp = worker->numFramesInIntermediateBuffer();
  return 0;
}

// The entry point libasound looks up for "type tsoundcard", and its version mark.
extern "C" {
#pragma GCC visibility push(default)
SND_PCM_PLUGIN_DEFINE_FUNC(tsoundcard) {
  (void)root;
  (void)conf;
  try {
    return netaudioSoundcardOpen(pcmp, name, stream, mode);
  } catch (...) {
    return -ENOMEM;
  }
}
SND_PCM_PLUGIN_SYMBOL(tsoundcard)
#pragma GCC visibility pop
}
