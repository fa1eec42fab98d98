#include "netaudio_play/SndfileDecoder.h"

#include <cstdio>

#include "tarvo/TarvoLine.h"

bool SndfileDecoder::open(const char* path) {
  if (!mSource.open(path, mContainer, kMaxChannels)) {
    Tarvo::writeLine(stderr, mOpenFailureMessage);
    return false;
  }
  Tarvo::writeLine(stderr, "Decoder opened successfully");
  return true;
}

unsigned SndfileDecoder::getSamples(unsigned frames, int* interleaved) {
  return mSource.read(frames, interleaved);
}

void SndfileDecoder::close() {
  mSource.close();
  Tarvo::writeLine(stdout, "Decoder closed successfully");
}
