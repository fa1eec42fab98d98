// The ring between an ALSA application and the network rings of one tsoundcard PCM.
//
// The buffer holds interleaved samples in the application's format (S16_LE, S32_LE or FLOAT_LE)
// and converts to and from the network's signed 32-bit ring samples on the network side. The
// ALSA side (the application's transfers) takes the lock itself; the network side runs inside
// the worker's work call, which holds the lock (lock()) for the whole batch.
#pragma once

#include <alsa/asoundlib.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "netaudio_soundcard/src/tsoundcard_logging.h"

namespace tsoundcard {

// One sample between the network ring (left-justified signed 32-bit) and each ALSA format.
inline int16_t ringToS16(int32_t s) { return static_cast<int16_t>(s >> 16); }
inline int32_t s16ToRing(int16_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(v)) << 16);
}
inline float ringToFloat(int32_t s) { return static_cast<float>(s / 2147483647.0); }
// v x 2^31 in single precision, truncated toward zero and saturated; NaN gives 0.
inline int32_t floatToRing(float v) {
  const float scaled = v * 2147483648.0f;
  if (scaled != scaled) return 0;
  if (scaled >= 2147483648.0f) return INT32_MAX;
  if (scaled <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(scaled);
}

}  // namespace tsoundcard

class IntermediateBuffer {
 public:
  // Process-wide: "Buffer full." / "No frames in buffer." written and not yet cleared by a
  // batch that moved frames. Shared by every PCM of the process.
  static std::atomic<bool> bufferFullLogState;
  static std::atomic<bool> bufferEmptyLogState;

  // channels x bufferFrames samples, zeroed. rate is not used.
  IntermediateBuffer(unsigned channels, unsigned bufferFrames, snd_pcm_stream_t stream,
                     unsigned rate);
  ~IntermediateBuffer();
  IntermediateBuffer(const IntermediateBuffer&) = delete;
  IntermediateBuffer& operator=(const IntermediateBuffer&) = delete;

  // A new zeroed block when the capacity changes, then resetBufferParams; takes the lock.
  void reset(unsigned channels, unsigned frames);
  // Capacity = channels x frames (the block must already hold it), heads and count 0.
  void resetBufferParams(unsigned channels, unsigned frames);

  unsigned getNumSamplesInBuffer() const { return mNumSamples; }
  unsigned getAvailableSpaceInSamplesInBuffer() const { return mCapacity - mNumSamples; }
  unsigned getCapacity() const { return mCapacity; }
  unsigned getWriteHead() const { return mWriteHead; }
  unsigned getReadHead() const { return mReadHead; }
  // Raw block, sample k at byte k x width.
  const uint8_t* data() const { return mBuffer.data(); }

  // The lock of the network side.
  std::mutex& mutex() { return mMutex; }

  // ALSA side, each takes the lock. Samples of bytesPerSample (2 or 4) bytes; returns the
  // samples accepted (at most the free space) or given (at most the samples held).
  snd_pcm_uframes_t writeAlsaSamples(const void* src, uint32_t samples, ssize_t bytesPerSample);
  snd_pcm_uframes_t readAlsaSamples(void* dst, uint32_t samples, ssize_t bytesPerSample);
  // One contiguous copy at the head, which then advances by count modulo the capacity.
  void writeAlsaSamplesToBuffer(const void* src, uint32_t count, ssize_t bytesPerSample);
  void readAlsaSamplesFromBuffer(void* dst, uint32_t count, ssize_t bytesPerSample);

  // Network side; the caller holds mutex(). Capture: stores up to `frames` frames of the
  // receive rings from rxHead and returns the frames stored; the frames that do not fit are
  // skipped in the ring. Playback: takes up to `frames` frames into the transmit rings at
  // txHead and returns the frames taken; ring positions of missing frames are left alone.
  // Either head ends `frames` positions further on (mod samplesPerChannel).
  unsigned writeNetaudioSamples(snd_pcm_format_t format, unsigned frames,
                                const std::vector<const int*>& rx, unsigned channels,
                                unsigned& rxHead, unsigned samplesPerChannel);
  unsigned readNetaudioSamples(snd_pcm_format_t format, unsigned frames, std::vector<int*>& tx,
                               unsigned channels, unsigned& txHead, unsigned samplesPerChannel);
  // Playback, the caller holds mutex(): throws away up to `frames` frames of `format` at the
  // read head without writing them anywhere (the ring positions they were for are gone); their
  // places in the buffer read as zero afterwards. Returns the frames thrown away.
  unsigned dropFrames(snd_pcm_format_t format, unsigned frames, unsigned channels);

  void writeNetaudioSamplesS16LE(unsigned frames, const std::vector<const int*>& rx,
                                 unsigned channels, unsigned& rxHead, unsigned samplesPerChannel);
  void writeNetaudioSamplesS32LE(unsigned frames, const std::vector<const int*>& rx,
                                 unsigned channels, unsigned& rxHead, unsigned samplesPerChannel);
  void writeNetaudioSamplesFLOATLE(unsigned frames, const std::vector<const int*>& rx,
                                   unsigned channels, unsigned& rxHead, unsigned samplesPerChannel);
  void readNetaudioSamples16LE(unsigned frames, std::vector<int*>& tx, unsigned channels,
                               unsigned& txHead, unsigned samplesPerChannel);
  void readNetaudioSamplesS32LE(unsigned frames, std::vector<int*>& tx, unsigned channels,
                                unsigned& txHead, unsigned samplesPerChannel);
  void readNetaudioSamplesFLOATLE(unsigned frames, std::vector<int*>& tx, unsigned channels,
                                  unsigned& txHead, unsigned samplesPerChannel);

 private:
  template <typename Sample, typename Convert>
  void writeNetaudioFrames(unsigned frames, const std::vector<const int*>& rx, unsigned channels,
                           unsigned& rxHead, unsigned samplesPerChannel, Convert convert);
  template <typename Sample, typename Convert>
  void readNetaudioFrames(unsigned frames, std::vector<int*>& tx, unsigned channels,
                          unsigned& txHead, unsigned samplesPerChannel, Convert convert);
  void allocate(unsigned channels, unsigned frames);

  std::mutex mMutex;
  std::vector<uint8_t> mBuffer;
  unsigned mCapacity = 0;
  unsigned mWriteHead = 0;
  unsigned mReadHead = 0;
  std::unique_ptr<NetaudioSoundcardBufferLog> mLog;
  unsigned mNumSamples = 0;
};
