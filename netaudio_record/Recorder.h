// trecord's tool object: records every receive channel of the area into one interleaved PCM
// WAV file, from the first reset until the program stops. A later reset after a reconfiguration
// (the reset count moved), from a new engine (the area made anew under its name) or with another
// layout (rate, receive channel count or encoding) stops the program, so that one file never
// joins two streams. The same engine coming back after a stall, on the same area and reset
// count, is recorded on into the same file: the periods it moved on by meanwhile are written as
// late periods, from what the rings still hold.
//
// The file always carries a valid header: one with sizes 0 at open, refreshed with the sizes so
// far about once a second of audio, and the final one at close_encoders(). A write or close
// error ends the recording ("Error writing output!"); the header then describes the whole
// frames that reached the file, and failed() is true.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "netaudio_record/WavFile.h"
#include "tarvo/TarvoBuffers.h"
#include "tarvo/TarvoTool.h"

class Recorder {
 public:
  Recorder(Tarvo::Buffers& buffers, int txLatency, std::string outFileName,
           std::atomic<bool>& running = Tarvo::g_running);
  // Completes the file (close_encoders) and frees the frame buffer.
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  void work(unsigned periods);
  void reset();
  // Starts the ring positions at periodCount: the count the period loop counts its work from.
  // The header may already have moved on, and reading it again would put the tool a period
  // ahead of the periods it is given.
  void reset(uint64_t periodCount);

  // Opens the output file and writes a header with sizes 0.
  void start_encoders();
  // Writes the final header and closes the file; "Encoder closed.  Audio saved to '<name>'."
  // on stdout unless writing failed.
  void close_encoders();
  // Writes `samples` frames from the receive head (the stretch must not cross the ring end).
  void push_samples_to_encoder(unsigned samples);
  // Frees the frame buffer (after every period loop).
  void cleanup();

  // True after a write or close error, or when the layout could not be recorded.
  bool failed() const { return mWriteError || mRefused; }
  // Upper bound of the data chunk; the recording stops cleanly before passing it.
  void setDataLimitBytes(uint64_t limit) { mDataLimitBytes = limit; }
  uint64_t framesWritten() const { return mTotalFrames; }

 private:
  void writeFailed();
  bool sameLayout(const volatile Tarvo::buffer_header& header) const;
  void allocateFrames();
  void refreshHeader();
  bool writeStretch(unsigned frames);

  Tarvo::Buffers& mBuffers;
  int mTxLatencySamples;
  std::string mOutFileName;
  std::atomic<bool>& mRunning;
  unsigned mSamplesPerPeriod = 0;
  unsigned mSamplesPerChannel = 0;
  unsigned mTarvoRxHeadSamples = 0;
  // The period count the next work call starts at.
  uint64_t mNextPeriodCount = 0;
  // The engine the file records: its area and reset count at the reset that opened the file.
  uint64_t mAreaIdentity = 0;
  uint32_t mResetCount = 0;
  std::vector<const int32_t*> mRxChannels;
  wav_info mWavInfo{};
  FILE* mFile = nullptr;
  uint64_t mTotalFrames = 0;
  // Packed frames of one stretch (at most kStretchFrames), written with one fwrite.
  std::vector<uint8_t> mFrame;

  uint64_t mDataBytes = 0;  // bytes of frame data that reached the file
  uint64_t mDataLimitBytes = kWavMaxDataBytes;
  uint64_t mFramesSinceHeader = 0;
  bool mWriteError = false;
  bool mRefused = false;
  bool mLimitReached = false;
};
