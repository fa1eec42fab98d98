// Hook for a log of the intermediate buffer's events. It records nothing and makes no file; the
// path names where a CSV log of one stream would go.
#pragma once

#include <string>

class NetaudioSoundcardBufferLog {
 public:
  static constexpr const char* kCapturePath = "/tmp/netaudio_rx_soundcard_log.csv";
  static constexpr const char* kPlaybackPath = "/tmp/netaudio_tx_soundcard_log.csv";

  explicit NetaudioSoundcardBufferLog(const char* path);
  // samples moved by one write or read, and the samples held afterwards.
  void logWriteEvent(unsigned samplesWritten, unsigned samplesHeld);
  void logReadEvent(unsigned samplesRead, unsigned samplesHeld);

  const std::string& path() const { return mPath; }

 private:
  std::string mPath;
};
