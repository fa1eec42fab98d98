// An audio file decoder as tplay uses it: interleaved signed 32-bit frames, full scale in the
// top bits.
#pragma once

class Decoder {
 public:
  virtual ~Decoder() = default;
  // Opens the file; writes "Decoder opened successfully" or the decoder's own failure message
  // to stderr. Files with no channels, more than kMaxChannels, or no frames are refused.
  virtual bool open(const char* path) = 0;
  virtual unsigned getSampleRate() = 0;
  virtual unsigned getChannelCount() = 0;
  // Decodes up to `frames` frames into `interleaved`; fewer at the end of the file or on a
  // decoding error, 0 when 0 are asked.
  virtual unsigned getSamples(unsigned frames, int* interleaved) = 0;
  // Back to the first frame.
  virtual void seekStart() = 0;
  // Closes the file; writes "Decoder closed successfully" to stdout.
  virtual void close() = 0;

  // One frame must fit tplay's decode buffer of 4096 samples.
  static constexpr unsigned kMaxChannels = 4096;
};
