// The Decoder interface over libsndfile; WavDecoder, MP3Decoder and FlacDecoder differ only in
// the container they accept and their failure message.
#pragma once

#include <string>

#include "netaudio_play/Decoder.h"
#include "netaudio_play/SndfileSource.h"

class SndfileDecoder : public Decoder {
 public:
  SndfileDecoder(SndfileSource::Container container, std::string openFailureMessage)
      : mContainer(container), mOpenFailureMessage(std::move(openFailureMessage)) {}

  bool open(const char* path) override;
  unsigned getSampleRate() override { return mSource.sampleRate(); }
  unsigned getChannelCount() override { return mSource.channels(); }
  unsigned getSamples(unsigned frames, int* interleaved) override;
  void seekStart() override { mSource.rewind(); }
  void close() override;

 private:
  SndfileSource::Container mContainer;
  std::string mOpenFailureMessage;
  SndfileSource mSource;
};

class WavDecoder : public SndfileDecoder {
 public:
  WavDecoder() : SndfileDecoder(SndfileSource::Container::Wav, "ERROR: opening wav file ") {}
};

class MP3Decoder : public SndfileDecoder {
 public:
  MP3Decoder() : SndfileDecoder(SndfileSource::Container::Mpeg, "ERROR: opening mp3 file ") {}
};

class FlacDecoder : public SndfileDecoder {
 public:
  FlacDecoder() : SndfileDecoder(SndfileSource::Container::Flac, "ERROR: opening flac file ") {}
};
