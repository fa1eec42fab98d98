// A decoder over generated frames: sample (frame, channel) = frame << 8 | channel, so every
// captured sample names its frame and channel.
#pragma once

#include <algorithm>

#include "netaudio_play/Decoder.h"

class FakeDecoder : public Decoder {
 public:
  FakeDecoder(unsigned channels, unsigned frames, unsigned rate = 48000)
      : mChannels(channels), mFrames(frames), mRate(rate) {}

  static int sample(unsigned frame, unsigned channel) {
    return static_cast<int>((frame << 8) | channel);
  }

  bool open(const char*) override { return true; }
  unsigned getSampleRate() override { return mRate; }
  unsigned getChannelCount() override { return mChannels; }
  unsigned getSamples(unsigned frames, int* interleaved) override {
    largestRequest = std::max(largestRequest, frames);
    const unsigned n = std::min(frames, mFrames - mPosition);
    for (unsigned i = 0; i < n; ++i) {
      for (unsigned c = 0; c < mChannels; ++c) {
        interleaved[i * mChannels + c] = sample(mPosition + i, c);
      }
    }
    mPosition += n;
    return n;
  }
  void seekStart() override {
    mPosition = 0;
    ++rewinds;
  }
  void close() override { ++closes; }

  unsigned largestRequest = 0;
  unsigned rewinds = 0;
  unsigned closes = 0;

 private:
  unsigned mChannels;
  unsigned mFrames;
  unsigned mRate;
  unsigned mPosition = 0;
};
