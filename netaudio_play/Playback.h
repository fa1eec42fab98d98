// tplay's tool object: fills a contiguous range of transmit rings from a decoder, paced by the
// engine's periods.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "netaudio_play/Decoder.h"
#include "tarvo/TarvoBuffers.h"
#include "tarvo/TarvoTool.h"

class Playback {
 public:
  // startChannel is 0-based; channels 0 plays every file channel. The decoder is open and is
  // closed by the destructor. `running` is cleared at the end of the file (without repeat)
  // and when a reset finds the file does not fit the area.
  Playback(Tarvo::Buffers& buffers, int txLatency, Decoder*& decoder, unsigned startChannel,
           int channels, bool repeat, std::atomic<bool>& running = Tarvo::g_running);
  ~Playback();
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  // Period callbacks.
  void work(unsigned periods);
  void reset();
  // Starts the ring positions at periodCount: the count the period loop counts its work from.
  // The header may already have moved on, and reading it again would put the tool a period
  // ahead of the periods it is given.
  void reset(uint64_t periodCount);

  bool sampleRatesMatch();
  bool enoughNetaudioChannels();
  // Decodes numSamples frames into the rings at the head (which must leave room for them).
  void pullSamplesFromDecoder(unsigned numSamples);

  static constexpr unsigned kSampleBufferSize = 4096;

 private:
  Tarvo::Buffers& mBuffers;
  int mTxLatencySamples;
  Decoder* mDecoder;
  unsigned mStartChannel;
  int mUserChannelCount;
  bool mRepeat;
  unsigned mSamplesPerPeriod = 0;
  unsigned mSamplesPerChannel = 0;
  unsigned mTarvoTxHeadSamples = 0;
  std::vector<int32_t*> mTxChannels;
  int mSampleBuffer[kSampleBufferSize];
  unsigned mFileChannelCount;
  unsigned mUsedChannelCount = 0;

  std::atomic<bool>& mRunning;
  bool mReady = false;         // the last reset passed its checks
  bool mRewoundEmpty = false;  // the last read was a rewind that has yielded nothing yet
};
