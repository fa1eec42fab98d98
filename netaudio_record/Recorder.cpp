#include "netaudio_record/Recorder.h"

#include <unistd.h>

#include <algorithm>
#include <cassert>

#include "tarvo/TarvoLine.h"
#include "tarvo/TarvoRing.h"

namespace {

// Frames packed and written per fwrite.
constexpr unsigned kStretchFrames = 4096;
// Header refresh interval in frames when the engine gives no sample rate.
constexpr uint64_t kDefaultRefreshFrames = 48000;

bool recordableEncoding(uint32_t encoding) {
  return encoding == 16 || encoding == 24 || encoding == 32;
}

}  // namespace

Recorder::Recorder(Tarvo::Buffers& buffers, int txLatency, std::string outFileName,
                   std::atomic<bool>& running)
    : mBuffers(buffers),
      mTxLatencySamples(txLatency),
      mOutFileName(std::move(outFileName)),
      mRunning(running) {}

Recorder::~Recorder() {
  close_encoders();
  cleanup();
}

void Recorder::reset() {
  const volatile Tarvo::buffer_header* header = mBuffers.getHeader();
  if (header == nullptr) return;
  reset(header->period_count);
}

void Recorder::reset(uint64_t periodCount) {
  const volatile Tarvo::buffer_header* header = mBuffers.getHeader();
  if (header == nullptr) return;
  const unsigned oldSamplesPerPeriod = mSamplesPerPeriod;
  const unsigned oldSamplesPerChannel = mSamplesPerChannel;
  mSamplesPerPeriod = header->samples_per_period;
  mSamplesPerChannel = header->samples_per_channel;
  mRxChannels.clear();
  for (unsigned i = 0; i < mBuffers.getRxChannelCount(); ++i) {
    mRxChannels.push_back(mBuffers.getTarvoRxChannel(i));
  }

  if (mFile != nullptr) {
    // Only a stall of the same engine is recorded on: a reconfiguration (its reset count moved)
    // or a new engine (its area made anew) ends the file, even with the same layout.
    const bool sameEngine = mBuffers.areaIdentity() == mAreaIdentity &&
                            header->reset_count == mResetCount;
    if (!sameEngine || !sameLayout(*header)) {
      Tarvo::writeLine(stdout, "Stopping recording because changes were made to netaudio config");
      mRunning = false;
      return;
    }
    allocateFrames();
    // Periods the engine moved on by since the last work call are late periods, written from
    // the rings as far as they still hold them; an engine that started its count anew, or
    // whose rings changed, leaves a gap that cannot be filled.
    if (periodCount > mNextPeriodCount && mSamplesPerPeriod == oldSamplesPerPeriod &&
        mSamplesPerChannel == oldSamplesPerChannel) {
      const uint64_t late = std::min<uint64_t>(periodCount - mNextPeriodCount, UINT32_MAX);
      mTarvoRxHeadSamples =
          Tarvo::ringPosition(mNextPeriodCount, mSamplesPerPeriod, mSamplesPerChannel);
      work(static_cast<unsigned>(late));
    }
    mNextPeriodCount = periodCount;
    mTarvoRxHeadSamples = Tarvo::ringPosition(periodCount, mSamplesPerPeriod, mSamplesPerChannel);
    return;
  }
  mNextPeriodCount = periodCount;
  mTarvoRxHeadSamples = Tarvo::ringPosition(periodCount, mSamplesPerPeriod, mSamplesPerChannel);

  const size_t channels = mRxChannels.size();
  const uint32_t encoding = header->encoding;
  const uint64_t block = uint64_t{channels} * encoding / 8;
  if (channels == 0 || channels > 0xFFFF || !recordableEncoding(encoding) || block > 0xFFFF) {
    Tarvo::writeLine(stderr, "Cannot record " + std::to_string(channels) +
                                 " receive channels of encoding " + std::to_string(encoding) +
                                 " into a WAV file");
    mRefused = true;
    mRunning = false;
    return;
  }
  mAreaIdentity = mBuffers.areaIdentity();
  mResetCount = header->reset_count;
  mWavInfo.channel_count = static_cast<uint16_t>(channels);
  mWavInfo.bits_per_sample = static_cast<uint16_t>(encoding);
  mWavInfo.sample_rate = header->samplerate;
  mWavInfo.frame_count = 0;
  allocateFrames();
  start_encoders();
}

bool Recorder::sameLayout(const volatile Tarvo::buffer_header& header) const {
  return mRxChannels.size() == mWavInfo.channel_count &&
         header.encoding == mWavInfo.bits_per_sample && header.samplerate == mWavInfo.sample_rate;
}

void Recorder::allocateFrames() {
  const size_t block = wav_block_size(mWavInfo);
  mFrame.assign(size_t{std::min(kStretchFrames, std::max(mSamplesPerChannel, 1u))} * block, 0);
}

void Recorder::start_encoders() {
  mFile = open_wav_file(mOutFileName.c_str());
  if (mFile == nullptr) {
    Tarvo::writeLine(stderr, "Error opening for output!");
    mRunning = false;
    return;
  }
  mTotalFrames = 0;
  mDataBytes = 0;
  mFramesSinceHeader = 0;
  if (write_wav_hdr(&mWavInfo, mFile) != 0) writeFailed();
}

void Recorder::work(unsigned periods) {
  mNextPeriodCount += periods;
  if (mFile == nullptr || mWriteError || mLimitReached || mFrame.empty()) return;
  uint64_t total = uint64_t{periods} * mSamplesPerPeriod;
  if (total > mSamplesPerChannel) {
    const uint64_t kept = total % mSamplesPerChannel;
    Tarvo::writeLine(stderr, "Recording fell behind by more than the ring: " +
                                 std::to_string(total - kept) + " frames lost");
    total = kept;
  }
  unsigned n = static_cast<unsigned>(total);
  if (mTarvoRxHeadSamples + n > mSamplesPerChannel) {
    const unsigned part = mSamplesPerChannel - mTarvoRxHeadSamples;
    push_samples_to_encoder(part);
    mTarvoRxHeadSamples = 0;
    n -= part;
  }
  push_samples_to_encoder(n);

  const uint64_t refreshFrames =
      mWavInfo.sample_rate != 0 ? mWavInfo.sample_rate : kDefaultRefreshFrames;
  if (mFile != nullptr && !mWriteError && mFramesSinceHeader >= refreshFrames) refreshHeader();
}

void Recorder::push_samples_to_encoder(unsigned samples) {
  assert(mTarvoRxHeadSamples + samples <= mSamplesPerChannel);
  const unsigned block = wav_block_size(mWavInfo);
  if (mFile == nullptr || block == 0 || mFrame.empty()) {
    mTarvoRxHeadSamples += samples;
    return;
  }
  const uint64_t room = (mDataLimitBytes - std::min(mDataBytes, mDataLimitBytes)) / block;
  const bool limited = samples > room;
  const unsigned frames = limited ? static_cast<unsigned>(room) : samples;

  unsigned done = 0;
  while (done < frames && !mWriteError) {
    const unsigned count = std::min(frames - done, kStretchFrames);
    if (!writeStretch(count)) break;
    mTarvoRxHeadSamples += count;
    done += count;
  }
  // The head follows the engine's position whatever was written.
  mTarvoRxHeadSamples += samples - done;

  if (limited && !mWriteError && !mLimitReached) {
    mLimitReached = true;
    Tarvo::writeLine(stdout, "Stopping recording because the WAV size limit was reached");
    mRunning = false;
  }
}

bool Recorder::writeStretch(unsigned frames) {
  const size_t bytes = size_t{frames} * wav_block_size(mWavInfo);
  pack_frames(mWavInfo, mRxChannels.data(), mTarvoRxHeadSamples, frames, mFrame.data());
  const size_t written = fwrite(mFrame.data(), 1, bytes, mFile);
  mDataBytes += written;
  mTotalFrames = mDataBytes / wav_block_size(mWavInfo);
  mFramesSinceHeader += written / wav_block_size(mWavInfo);
  if (written != bytes) {
    writeFailed();
    return false;
  }
  return true;
}

void Recorder::refreshHeader() {
  mFramesSinceHeader = 0;
  mWavInfo.frame_count = static_cast<uint32_t>(mTotalFrames);
  if (write_wav_hdr(&mWavInfo, mFile) != 0 ||
      fseeko(mFile, static_cast<off_t>(kWavHeaderSize + mDataBytes), SEEK_SET) != 0) {
    writeFailed();
  }
}

void Recorder::writeFailed() {
  if (!mWriteError) Tarvo::writeLine(stderr, "Error writing output!");
  mWriteError = true;
  mRunning = false;
}

void Recorder::close_encoders() {
  if (mFile == nullptr) return;
  const unsigned block = wav_block_size(mWavInfo);
  mWavInfo.frame_count = static_cast<uint32_t>(mTotalFrames);
  if (mWriteError) {
    // Drop a partly written frame so the data chunk holds whole frames only.
    clearerr(mFile);
    if (ftruncate(fileno(mFile), static_cast<off_t>(kWavHeaderSize + mTotalFrames * block)) != 0) {
      // The partial frame then stays after the data the header describes; readers ignore it.
    }
  }
  if (write_wav_hdr(&mWavInfo, mFile) != 0) writeFailed();
  if (fclose(mFile) != 0) writeFailed();
  mFile = nullptr;
  if (!mWriteError) {
    Tarvo::writeLine(stdout, "Encoder closed.  Audio saved to '" + mOutFileName + "'.");
  }
}

void Recorder::cleanup() {
  mFrame.clear();
  mFrame.shrink_to_fit();
}
