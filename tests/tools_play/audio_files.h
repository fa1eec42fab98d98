// Test audio written with libsndfile at test time, and a temporary folder for it.
#pragma once

#include <sndfile.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

struct TempDir {
  TempDir() {
    char pattern[] = "/tmp/tplay_test.XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string file(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

// Writes interleaved left-justified 32-bit samples; libsndfile scales them to the format.
inline bool writeInts(const std::string& path, int format, int channels, int rate,
                      const std::vector<int32_t>& samples) {
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = rate;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (f == nullptr) return false;
  const int subtype = format & SF_FORMAT_SUBMASK;
  if (subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE) {
    // Float files hold values of full scale 1.0.
    std::vector<double> scaled;
    for (int32_t s : samples) scaled.push_back(s / 2147483648.0);
    sf_writef_double(f, scaled.data(), static_cast<sf_count_t>(scaled.size() / channels));
  } else {
    sf_writef_int(f, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
  }
  sf_close(f);
  return true;
}

inline bool writeFloats(const std::string& path, int format, int channels, int rate,
                        const std::vector<float>& samples) {
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = rate;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (f == nullptr) return false;
  sf_command(f, SFC_SET_CLIPPING, nullptr, SF_FALSE);
  sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
  sf_close(f);
  return true;
}

// A stereo ramp of 16-bit values (left-justified), distinct per channel and frame.
inline std::vector<int32_t> ramp16(unsigned frames, unsigned channels = 2) {
  std::vector<int32_t> out;
  for (unsigned i = 0; i < frames; ++i) {
    for (unsigned c = 0; c < channels; ++c) {
      const int16_t v = static_cast<int16_t>(i * 37 + c * 10007 - 20000);
      out.push_back(static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(v)) << 16));
    }
  }
  return out;
}

// Pseudo-random values that use every bit the format keeps (mask clears the rest).
inline std::vector<int32_t> noise(unsigned samples, uint32_t mask, uint32_t seed = 12345) {
  std::vector<int32_t> out;
  for (unsigned i = 0; i < samples; ++i) {
    seed = seed * 1664525u + 1013904223u;
    out.push_back(static_cast<int32_t>(seed & mask));
  }
  return out;
}

inline std::vector<float> sine(unsigned frames, double hz, double amplitude, int rate) {
  std::vector<float> out;
  for (unsigned i = 0; i < frames; ++i) {
    out.push_back(static_cast<float>(amplitude * std::sin(2 * M_PI * hz * i / rate)));
  }
  return out;
}
