// A file read through libsndfile, checked for its container and read as left-justified 32-bit
// samples: integer data as libsndfile scales it (16-bit << 16, 24-bit << 8), float data
// scaled by 2^31 with saturation (NaN reads 0), MPEG data as 16-bit (clipped) << 16.
#pragma once

#include <sndfile.h>

#include <vector>

class SndfileSource {
 public:
  enum class Container { Wav, Mpeg, Flac };

  ~SndfileSource() { close(); }

  // Opens `path` and requires the container; also refuses 0 or more than maxChannels
  // channels and files known to hold no frames. False leaves nothing open.
  bool open(const char* path, Container container, unsigned maxChannels);
  bool isOpen() const { return mFile != nullptr; }
  unsigned sampleRate() const { return static_cast<unsigned>(mInfo.samplerate); }
  unsigned channels() const { return static_cast<unsigned>(mInfo.channels); }
  unsigned read(unsigned frames, int* interleaved);
  void rewind();
  void close();

 private:
  enum class ReadPath { Int, Float, Short };

  SNDFILE* mFile = nullptr;
  SF_INFO mInfo{};
  ReadPath mPath = ReadPath::Int;
  std::vector<double> mDoubles;
  std::vector<short> mShorts;
};
