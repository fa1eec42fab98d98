// tloopback's tool object: copies every receive ring to the transmit ring of the same index,
// for the channels that exist in both directions, with the transmit side `txLatency` samples
// ahead of the receive side.
#pragma once

#include <cstdint>
#include <vector>

#include "tarvo/TarvoBuffers.h"

class Loopback {
 public:
  Loopback(Tarvo::Buffers& buffers, int txLatency);
  Loopback(const Loopback&) = delete;
  Loopback& operator=(const Loopback&) = delete;

  // Period callback: copies the samples of `periods` periods (only the remainder modulo the
  // ring length when a batch is longer than the ring).
  void work(unsigned periods);
  // Reset callback: re-reads the layout and puts both heads at the current period count, the
  // transmit head `txLatency` samples ahead (a negative latency lies behind).
  void reset();
  // Starts the ring positions at periodCount: the count the period loop counts its work from.
  // The header may already have moved on, and reading it again would put the tool a period
  // ahead of the periods it is given.
  void reset(uint64_t periodCount);

  unsigned txHead() const { return mTarvoTxHeadSamples; }
  unsigned rxHead() const { return mTarvoRxHeadSamples; }
  unsigned channelCount() const { return mNumChannels; }

 private:
  // A stretch that does not cross the receive ring end, split at the transmit ring end.
  void workUnwrappedTarvoRx(unsigned samples);
  // A stretch that crosses neither ring end.
  void workUnwrappedTarvoRxTarvoTx(unsigned samples);

  Tarvo::Buffers& mBuffers;
  int mTxLatencySamples;
  unsigned mSamplesPerPeriod = 0;
  unsigned mSamplesPerChannel = 0;
  unsigned mTarvoTxHeadSamples = 0;
  unsigned mTarvoRxHeadSamples = 0;
  std::vector<int32_t*> mTxChannels;
  std::vector<const int32_t*> mRxChannels;
  unsigned mNumChannels = 0;
};
