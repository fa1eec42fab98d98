#include "netaudio_loopback/Loopback.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "tarvo/TarvoRing.h"

Loopback::Loopback(Tarvo::Buffers& buffers, int txLatency)
    : mBuffers(buffers), mTxLatencySamples(txLatency) {}

void Loopback::reset() {
  const volatile Tarvo::buffer_header* header = mBuffers.getHeader();
  if (header == nullptr) return;
  reset(header->period_count);
}

void Loopback::reset(uint64_t periodCount) {
  const volatile Tarvo::buffer_header* header = mBuffers.getHeader();
  if (header == nullptr) return;
  mSamplesPerPeriod = header->samples_per_period;
  mSamplesPerChannel = header->samples_per_channel;

  mTxChannels.clear();
  mRxChannels.clear();
  for (unsigned i = 0; i < mBuffers.getTxChannelCount(); ++i) {
    mTxChannels.push_back(mBuffers.getTarvoTxChannel(i));
  }
  for (unsigned i = 0; i < mBuffers.getRxChannelCount(); ++i) {
    mRxChannels.push_back(mBuffers.getTarvoRxChannel(i));
  }
  mNumChannels = static_cast<unsigned>(std::min(mTxChannels.size(), mRxChannels.size()));

  mTarvoRxHeadSamples = Tarvo::ringPosition(periodCount, mSamplesPerPeriod, mSamplesPerChannel);
  mTarvoTxHeadSamples =
      Tarvo::ringPosition(periodCount, mSamplesPerPeriod, mSamplesPerChannel, mTxLatencySamples);
}

void Loopback::work(unsigned periods) {
  if (mSamplesPerChannel == 0) return;
  uint64_t total = uint64_t{periods} * mSamplesPerPeriod;
  if (total > mSamplesPerChannel) total %= mSamplesPerChannel;
  unsigned n = static_cast<unsigned>(total);

  if (mTarvoRxHeadSamples + n > mSamplesPerChannel) {
    const unsigned part = mSamplesPerChannel - mTarvoRxHeadSamples;
    workUnwrappedTarvoRx(part);
    assert(mTarvoRxHeadSamples == mSamplesPerChannel);
    mTarvoRxHeadSamples = 0;
    n -= part;
  }
  workUnwrappedTarvoRx(n);
}

void Loopback::workUnwrappedTarvoRx(unsigned samples) {
  if (mTarvoTxHeadSamples + samples > mSamplesPerChannel) {
    const unsigned part = mSamplesPerChannel - mTarvoTxHeadSamples;
    workUnwrappedTarvoRxTarvoTx(part);
    assert(mTarvoTxHeadSamples == mSamplesPerChannel);
    mTarvoTxHeadSamples = 0;
    samples -= part;
  }
  workUnwrappedTarvoRxTarvoTx(samples);
}

void Loopback::workUnwrappedTarvoRxTarvoTx(unsigned samples) {
  assert(mTarvoTxHeadSamples + samples <= mSamplesPerChannel);
  assert(mTarvoRxHeadSamples + samples <= mSamplesPerChannel);
  for (unsigned i = 0; i < mNumChannels; ++i) {
    memcpy(mTxChannels[i] + mTarvoTxHeadSamples, mRxChannels[i] + mTarvoRxHeadSamples,
           size_t{samples} * sizeof(int32_t));
  }
  mTarvoTxHeadSamples += samples;
  mTarvoRxHeadSamples += samples;
}
