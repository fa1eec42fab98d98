#include "netaudio_soundcard/src/tsoundcard_intermediatebuffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

std::atomic<bool> IntermediateBuffer::bufferFullLogState{false};
std::atomic<bool> IntermediateBuffer::bufferEmptyLogState{false};

namespace {

// The block is sized for 4-byte samples; anything wider or narrower than the formats we
// offer is refused.
bool validWidth(ssize_t bytesPerSample) { return bytesPerSample == 2 || bytesPerSample == 4; }

constexpr const char* kOverrun =
    "WARNING: writeNetaudioSamples: buffer overrun (ALSA hasn't read enough). ";
constexpr const char* kUnderrun =
    "WARNING: readNetaudioSamples: buffer underrun (ALSA hasn't written enough). ";

// One whole line on stderr without allocating (the network side runs on a real-time thread):
// the warning, then `tail`, or "Skipping <skipped> frames." when tail is null.
void warnLine(const char* warning, const char* tail, unsigned skipped = 0) {
  char line[192];
  const int n = tail != nullptr
                    ? snprintf(line, sizeof line, "%s%s\n", warning, tail)
                    : snprintf(line, sizeof line, "%sSkipping %u frames.\n", warning, skipped);
  if (n > 0) {
    fwrite(line, 1, std::min<size_t>(size_t(n), sizeof line - 1), stderr);
    fflush(stderr);
  }
}

void unexpectedFormat() {
  static const char kLine[] = "unexpected format\n";
  fwrite(kLine, 1, sizeof kLine - 1, stderr);
  fflush(stderr);
}

}  // namespace

IntermediateBuffer::IntermediateBuffer(unsigned channels, unsigned bufferFrames,
                                       snd_pcm_stream_t stream, unsigned /*rate*/)
    : mLog(new NetaudioSoundcardBufferLog(stream == SND_PCM_STREAM_CAPTURE
                                              ? NetaudioSoundcardBufferLog::kCapturePath
                                              : NetaudioSoundcardBufferLog::kPlaybackPath)) {
  allocate(channels, bufferFrames);
  resetBufferParams(channels, bufferFrames);
}

IntermediateBuffer::~IntermediateBuffer() = default;

void IntermediateBuffer::allocate(unsigned channels, unsigned frames) {
  // A capacity that would not fit the 32-bit counters (or the memory) gives an empty buffer.
  uint64_t samples = uint64_t(channels) * frames;
  if (samples > UINT32_MAX / 4) samples = 0;
  mBuffer.assign(size_t(samples) * 4, 0);
}

void IntermediateBuffer::reset(unsigned channels, unsigned frames) {
  std::lock_guard<std::mutex> lock(mMutex);
  if (mBuffer.empty() || uint64_t(channels) * frames != mCapacity) allocate(channels, frames);
  resetBufferParams(channels, frames);
}

void IntermediateBuffer::resetBufferParams(unsigned channels, unsigned frames) {
  const uint64_t samples = uint64_t(channels) * frames;
  mCapacity = samples * 4 <= mBuffer.size() ? unsigned(samples) : unsigned(mBuffer.size() / 4);
  mWriteHead = 0;
  mReadHead = 0;
  mNumSamples = 0;
}

void IntermediateBuffer::writeAlsaSamplesToBuffer(const void* src, uint32_t count,
                                                  ssize_t bytesPerSample) {
  memcpy(mBuffer.data() + size_t(mWriteHead) * bytesPerSample, src, size_t(count) * bytesPerSample);
  mWriteHead = unsigned((uint64_t(mWriteHead) + count) % mCapacity);
}

void IntermediateBuffer::readAlsaSamplesFromBuffer(void* dst, uint32_t count,
                                                   ssize_t bytesPerSample) {
  memcpy(dst, mBuffer.data() + size_t(mReadHead) * bytesPerSample, size_t(count) * bytesPerSample);
  mReadHead = unsigned((uint64_t(mReadHead) + count) % mCapacity);
}

snd_pcm_uframes_t IntermediateBuffer::writeAlsaSamples(const void* src, uint32_t samples,
                                                       ssize_t bytesPerSample) {
  std::lock_guard<std::mutex> lock(mMutex);
  if (src == nullptr || !validWidth(bytesPerSample) || mCapacity == 0) return 0;
  const uint32_t accepted = std::min<uint32_t>(samples, mCapacity - mNumSamples);
  if (accepted == 0) return 0;
  const uint32_t first = std::min<uint32_t>(accepted, mCapacity - mWriteHead);
  writeAlsaSamplesToBuffer(src, first, bytesPerSample);
  if (first < accepted) {
    writeAlsaSamplesToBuffer(static_cast<const uint8_t*>(src) + size_t(first) * bytesPerSample,
                             accepted - first, bytesPerSample);
  }
  mNumSamples += accepted;
  mLog->logWriteEvent(accepted, mNumSamples);
  return accepted;
}

snd_pcm_uframes_t IntermediateBuffer::readAlsaSamples(void* dst, uint32_t samples,
                                                      ssize_t bytesPerSample) {
  std::lock_guard<std::mutex> lock(mMutex);
  if (dst == nullptr || !validWidth(bytesPerSample) || mCapacity == 0) return 0;
  const uint32_t given = std::min<uint32_t>(samples, mNumSamples);
  if (given == 0) return 0;
  const uint32_t first = std::min<uint32_t>(given, mCapacity - mReadHead);
  readAlsaSamplesFromBuffer(dst, first, bytesPerSample);
  if (first < given) {
    readAlsaSamplesFromBuffer(static_cast<uint8_t*>(dst) + size_t(first) * bytesPerSample,
                              given - first, bytesPerSample);
  }
  mNumSamples -= given;
  mLog->logReadEvent(given, mNumSamples);
  return given;
}

// Frame by frame: every channel's sample at rxHead, converted, at the write head. A channel
// without a ring in the table reads as silence.
template <typename Sample, typename Convert>
void IntermediateBuffer::writeNetaudioFrames(unsigned frames, const std::vector<const int*>& rx,
                                             unsigned channels, unsigned& rxHead,
                                             unsigned samplesPerChannel, Convert convert) {
  Sample* out = reinterpret_cast<Sample*>(mBuffer.data());
  const unsigned present = unsigned(std::min<size_t>(channels, rx.size()));
  unsigned w = mWriteHead;
  for (unsigned f = 0; f < frames; ++f) {
    for (unsigned j = 0; j < channels; ++j) {
      const int* ring = j < present ? rx[j] : nullptr;
      out[w] = convert(ring != nullptr ? ring[rxHead] : 0);
      if (++w == mCapacity) w = 0;
    }
    if (++rxHead >= samplesPerChannel) rxHead = 0;
  }
  mWriteHead = w;
}

// Frame by frame: every channel's buffer value, converted, at txHead of its ring; the buffer
// position is cleared behind it.
template <typename Sample, typename Convert>
void IntermediateBuffer::readNetaudioFrames(unsigned frames, std::vector<int*>& tx,
                                            unsigned channels, unsigned& txHead,
                                            unsigned samplesPerChannel, Convert convert) {
  Sample* in = reinterpret_cast<Sample*>(mBuffer.data());
  const unsigned present = unsigned(std::min<size_t>(channels, tx.size()));
  unsigned r = mReadHead;
  for (unsigned f = 0; f < frames; ++f) {
    for (unsigned j = 0; j < channels; ++j) {
      int* ring = j < present ? tx[j] : nullptr;
      if (ring != nullptr) ring[txHead] = convert(in[r]);
      in[r] = Sample(0);
      if (++r == mCapacity) r = 0;
    }
    if (++txHead >= samplesPerChannel) txHead = 0;
  }
  mReadHead = r;
}

void IntermediateBuffer::writeNetaudioSamplesS16LE(unsigned frames,
                                                   const std::vector<const int*>& rx,
                                                   unsigned channels, unsigned& rxHead,
                                                   unsigned samplesPerChannel) {
  writeNetaudioFrames<int16_t>(frames, rx, channels, rxHead, samplesPerChannel,
                               tsoundcard::ringToS16);
}

void IntermediateBuffer::writeNetaudioSamplesS32LE(unsigned frames,
                                                   const std::vector<const int*>& rx,
                                                   unsigned channels, unsigned& rxHead,
                                                   unsigned samplesPerChannel) {
  writeNetaudioFrames<int32_t>(frames, rx, channels, rxHead, samplesPerChannel,
                               [](int32_t s) { return s; });
}

void IntermediateBuffer::writeNetaudioSamplesFLOATLE(unsigned frames,
                                                     const std::vector<const int*>& rx,
                                                     unsigned channels, unsigned& rxHead,
                                                     unsigned samplesPerChannel) {
  writeNetaudioFrames<float>(frames, rx, channels, rxHead, samplesPerChannel,
                             tsoundcard::ringToFloat);
}

void IntermediateBuffer::readNetaudioSamples16LE(unsigned frames, std::vector<int*>& tx,
                                                 unsigned channels, unsigned& txHead,
                                                 unsigned samplesPerChannel) {
  readNetaudioFrames<int16_t>(frames, tx, channels, txHead, samplesPerChannel,
                              tsoundcard::s16ToRing);
}

void IntermediateBuffer::readNetaudioSamplesS32LE(unsigned frames, std::vector<int*>& tx,
                                                  unsigned channels, unsigned& txHead,
                                                  unsigned samplesPerChannel) {
  readNetaudioFrames<int32_t>(frames, tx, channels, txHead, samplesPerChannel,
                              [](int32_t v) { return v; });
}

void IntermediateBuffer::readNetaudioSamplesFLOATLE(unsigned frames, std::vector<int*>& tx,
                                                    unsigned channels, unsigned& txHead,
                                                    unsigned samplesPerChannel) {
  readNetaudioFrames<float>(frames, tx, channels, txHead, samplesPerChannel,
                            tsoundcard::floatToRing);
}

unsigned IntermediateBuffer::writeNetaudioSamples(snd_pcm_format_t format, unsigned frames,
                                                  const std::vector<const int*>& rx,
                                                  unsigned channels, unsigned& rxHead,
                                                  unsigned samplesPerChannel) {
  if (samplesPerChannel == 0) return 0;
  rxHead %= samplesPerChannel;
  unsigned n = frames;
  unsigned skipped = 0;
  if (uint64_t(mNumSamples) + uint64_t(frames) * channels > mCapacity) {
    n = channels == 0 ? 0 : (mCapacity - mNumSamples) / channels;
    skipped = frames - n;
    if (n == 0) {
      if (!bufferFullLogState.exchange(true)) warnLine(kOverrun, "Buffer full.");
    } else {
      warnLine(kOverrun, nullptr, skipped);
    }
  }
  if (n > 0) bufferFullLogState = false;

  if (n > 0 && mCapacity > 0) {
    switch (format) {
      case SND_PCM_FORMAT_S16_LE:
        writeNetaudioSamplesS16LE(n, rx, channels, rxHead, samplesPerChannel);
        break;
      case SND_PCM_FORMAT_S32_LE:
        writeNetaudioSamplesS32LE(n, rx, channels, rxHead, samplesPerChannel);
        break;
      case SND_PCM_FORMAT_FLOAT_LE:
        writeNetaudioSamplesFLOATLE(n, rx, channels, rxHead, samplesPerChannel);
        break;
      default:
        unexpectedFormat();
        break;
    }
  }
  mNumSamples += n * channels;
  mLog->logWriteEvent(n * channels, mNumSamples);
  if (skipped > 0) rxHead = unsigned((uint64_t(rxHead) + skipped) % samplesPerChannel);
  return n;
}

unsigned IntermediateBuffer::readNetaudioSamples(snd_pcm_format_t format, unsigned frames,
                                                 std::vector<int*>& tx, unsigned channels,
                                                 unsigned& txHead, unsigned samplesPerChannel) {
  if (samplesPerChannel == 0) return 0;
  txHead %= samplesPerChannel;
  unsigned n = frames;
  unsigned skipped = 0;
  if (uint64_t(frames) * channels > mNumSamples) {
    n = channels == 0 ? 0 : mNumSamples / channels;
    skipped = frames - n;
    if (n == 0) {
      if (!bufferEmptyLogState.exchange(true)) {
        warnLine(kUnderrun, "No frames in buffer.");
      }
    } else {
      warnLine(kUnderrun, nullptr, skipped);
    }
  }
  if (n > 0) bufferEmptyLogState = false;

  if (n > 0 && mCapacity > 0) {
    switch (format) {
      case SND_PCM_FORMAT_S16_LE:
        readNetaudioSamples16LE(n, tx, channels, txHead, samplesPerChannel);
        break;
      case SND_PCM_FORMAT_S32_LE:
        readNetaudioSamplesS32LE(n, tx, channels, txHead, samplesPerChannel);
        break;
      case SND_PCM_FORMAT_FLOAT_LE:
        readNetaudioSamplesFLOATLE(n, tx, channels, txHead, samplesPerChannel);
        break;
      default:
        unexpectedFormat();
        break;
    }
  }
  mNumSamples -= n * channels;
  mLog->logReadEvent(n * channels, mNumSamples);
  if (skipped > 0) txHead = unsigned((uint64_t(txHead) + skipped) % samplesPerChannel);
  return n;
}

unsigned IntermediateBuffer::dropFrames(snd_pcm_format_t format, unsigned frames,
                                        unsigned channels) {
  if (channels == 0 || mCapacity == 0) return 0;
  const unsigned n = std::min(frames, mNumSamples / channels);
  const uint32_t samples = n * channels;
  const uint32_t first = std::min<uint32_t>(samples, mCapacity - mReadHead);
  const size_t width = format == SND_PCM_FORMAT_S16_LE ? 2 : 4;
  memset(mBuffer.data() + size_t(mReadHead) * width, 0, size_t(first) * width);
  memset(mBuffer.data(), 0, size_t(samples - first) * width);
  mReadHead = unsigned((uint64_t(mReadHead) + samples) % mCapacity);
  mNumSamples -= samples;
  mLog->logReadEvent(samples, mNumSamples);
  return n;
}
