#include "netaudio_play/SndfileSource.h"

#include <cmath>
#include <cstdint>

namespace {

// Scratch size in samples; longer reads go in several steps.
constexpr size_t kScratchSamples = 4096;

bool containerMatches(int format, SndfileSource::Container container) {
  const int type = format & SF_FORMAT_TYPEMASK;
  switch (container) {
    case SndfileSource::Container::Wav:
      return type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX || type == SF_FORMAT_W64 ||
             type == SF_FORMAT_RF64;
    case SndfileSource::Container::Mpeg:
      return type == SF_FORMAT_MPEG;
    case SndfileSource::Container::Flac:
      return type == SF_FORMAT_FLAC;
  }
  return false;
}

int32_t scaleFloat(double x) {
  if (std::isnan(x)) return 0;
  const double scaled = x * 2147483648.0;
  if (scaled >= 2147483647.0) return INT32_MAX;
  if (scaled <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(scaled);
}

}  // namespace

bool SndfileSource::open(const char* path, Container container, unsigned maxChannels) {
  close();
  mInfo = SF_INFO{};
  SNDFILE* file = sf_open(path, SFM_READ, &mInfo);
  if (file == nullptr) return false;
  const bool usable = containerMatches(mInfo.format, container) && mInfo.channels > 0 &&
                      static_cast<unsigned>(mInfo.channels) <= maxChannels && mInfo.frames != 0 &&
                      mInfo.samplerate > 0;
  if (!usable) {
    sf_close(file);
    return false;
  }
  mFile = file;
  const int subtype = mInfo.format & SF_FORMAT_SUBMASK;
  if (container == Container::Mpeg) {
    mPath = ReadPath::Short;
    sf_command(mFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    mShorts.assign(kScratchSamples, 0);
  } else if (subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE) {
    mPath = ReadPath::Float;
    mDoubles.assign(kScratchSamples, 0.0);
  } else {
    mPath = ReadPath::Int;
  }
  return true;
}

unsigned SndfileSource::read(unsigned frames, int* interleaved) {
  if (mFile == nullptr || frames == 0) return 0;
  if (mPath == ReadPath::Int) {
    sf_count_t got = sf_readf_int(mFile, interleaved, frames);
    return got > 0 ? static_cast<unsigned>(got) : 0;
  }
  const unsigned ch = channels();
  const unsigned step = static_cast<unsigned>(kScratchSamples / ch);
  unsigned done = 0;
  while (done < frames) {
    const unsigned want = frames - done < step ? frames - done : step;
    int* out = interleaved + size_t(done) * ch;
    sf_count_t got = 0;
    if (mPath == ReadPath::Float) {
      got = sf_readf_double(mFile, mDoubles.data(), want);
      for (sf_count_t i = 0; i < got * ch; ++i) out[i] = scaleFloat(mDoubles[i]);
    } else {
      got = sf_readf_short(mFile, mShorts.data(), want);
      for (sf_count_t i = 0; i < got * ch; ++i) {
        out[i] =
            static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(mShorts[i])) << 16);
      }
    }
    if (got <= 0) break;
    done += static_cast<unsigned>(got);
    if (static_cast<unsigned>(got) < want) break;
  }
  return done;
}

void SndfileSource::rewind() {
  if (mFile != nullptr) sf_seek(mFile, 0, SEEK_SET);
}

void SndfileSource::close() {
  if (mFile != nullptr) sf_close(mFile);
  mFile = nullptr;
}
