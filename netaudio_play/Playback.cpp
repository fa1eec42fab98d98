#include "netaudio_play/Playback.h"

#include <cassert>
#include <cstdio>
#include <string>

#include "tarvo/TarvoLine.h"
#include "tarvo/TarvoRing.h"

Playback::Playback(Tarvo::Buffers& buffers, int txLatency, Decoder*& decoder, unsigned startChannel,
                   int channels, bool repeat, std::atomic<bool>& running)
    : mBuffers(buffers),
      mTxLatencySamples(txLatency),
      mDecoder(decoder),
      mStartChannel(startChannel),
      mUserChannelCount(channels),
      mRepeat(repeat),
      mSampleBuffer{},
      mFileChannelCount(decoder->getChannelCount()),
      mRunning(running) {}

Playback::~Playback() { mDecoder->close(); }

void Playback::reset() { reset(mBuffers.getHeader()->period_count); }

void Playback::reset(uint64_t periodCount) {
  mReady = false;
  const volatile Tarvo::buffer_header* header = mBuffers.getHeader();
  mSamplesPerPeriod = header->samples_per_period;
  mSamplesPerChannel = header->samples_per_channel;
  mTxChannels.clear();
  for (unsigned i = 0; i < mBuffers.getTxChannelCount(); ++i) {
    mTxChannels.push_back(mBuffers.getTarvoTxChannel(i));
  }
  mTarvoTxHeadSamples =
      Tarvo::ringPosition(periodCount, mSamplesPerPeriod, mSamplesPerChannel, mTxLatencySamples);
  Tarvo::writeLine(stdout, "Config changed");

  mUsedChannelCount =
      (mUserChannelCount == 0 || static_cast<unsigned>(mUserChannelCount) >= mFileChannelCount)
          ? mFileChannelCount
          : static_cast<unsigned>(mUserChannelCount);

  if (!sampleRatesMatch() || !enoughNetaudioChannels()) {
    mRunning.store(false);
    return;
  }
  mReady = mSamplesPerChannel > 0;
}

bool Playback::sampleRatesMatch() {
  const unsigned fileRate = mDecoder->getSampleRate();
  const unsigned netRate = mBuffers.getHeader()->samplerate;
  Tarvo::writeLine(stderr, "file sample rate: " + std::to_string(fileRate) +
                               " netaudio sample rate: " + std::to_string(netRate));
  if (fileRate != netRate) {
    Tarvo::writeLine(stderr, "Error: Sample rate mismatch, exiting...");
    return false;
  }
  return true;
}

bool Playback::enoughNetaudioChannels() {
  const unsigned total = static_cast<unsigned>(mTxChannels.size());
  std::string line = "starting channel: " + std::to_string(mStartChannel + 1) +
                     " | file channel count: " + std::to_string(mFileChannelCount) +
                     " | total netaudio channels: " + std::to_string(total) +
                     " | user-defined channel count: " + std::to_string(mUserChannelCount);
  if (mUserChannelCount == 0) line += " -> " + std::to_string(mFileChannelCount);
  Tarvo::writeLine(stderr, line);
  if (uint64_t{mStartChannel} + mUsedChannelCount > total) {
    Tarvo::writeLine(stderr,
                     "Error: User asked for more channels than exist in netaudio, exiting...");
    return false;
  }
  return true;
}

void Playback::work(unsigned periods) {
  if (!mReady) return;
  uint64_t wide = uint64_t{periods} * mSamplesPerPeriod;
  if (wide > mSamplesPerChannel) wide %= mSamplesPerChannel;  // whole rings are not filled
  unsigned n = static_cast<unsigned>(wide);
  // The head may rest at the ring end after a call; the first part is then empty.
  if (mTarvoTxHeadSamples + n > mSamplesPerChannel) {
    const unsigned first = mSamplesPerChannel - mTarvoTxHeadSamples;
    pullSamplesFromDecoder(first);
    mTarvoTxHeadSamples = 0;
    n -= first;
  }
  pullSamplesFromDecoder(n);
}

void Playback::pullSamplesFromDecoder(unsigned numSamples) {
  assert(mTarvoTxHeadSamples + numSamples <= mSamplesPerChannel);
  const unsigned chunk = kSampleBufferSize / mFileChannelCount;
  while (numSamples > 0 && mRunning.load()) {
    const unsigned want = numSamples < chunk ? numSamples : chunk;
    const unsigned got = mDecoder->getSamples(want, mSampleBuffer);
    if (got > 0) mRewoundEmpty = false;
    if (got < want) {
      // A rewind that has yielded nothing yet means the file has no frames: end as at the
      // end of the file instead of rewinding for ever.
      if (mRepeat && !mRewoundEmpty) {
        mDecoder->seekStart();
        mRewoundEmpty = true;
      } else {
        mRunning.store(false);
      }
    }
    for (unsigned i = 0; i < got; ++i) {
      const int* frame = mSampleBuffer + size_t(i) * mFileChannelCount;
      for (unsigned k = 0; k < mUsedChannelCount; ++k) {
        mTxChannels[mStartChannel + k][mTarvoTxHeadSamples + i] = frame[k];
      }
    }
    mTarvoTxHeadSamples += got;
    numSamples -= got;
  }
}
