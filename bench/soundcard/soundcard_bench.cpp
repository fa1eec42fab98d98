// Conversion throughput of the intermediate buffer per format and direction, for 8 channels in
// batches of one 48-sample network period, beside a plain memcpy of the same bytes. Prints
// frames per second and the multiple of real time at 48 kHz. No thresholds.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "netaudio_soundcard/src/tsoundcard_intermediatebuffer.h"

namespace {

constexpr unsigned kChannels = 8;
constexpr unsigned kBatch = 48;
constexpr unsigned kRingLength = 4096;
constexpr unsigned kBufferFrames = 16 * 192;
constexpr unsigned kRounds = 200000;

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void print(const char* what, double seconds, double frames) {
  const double perSecond = frames / seconds;
  printf("%-34s %12.0f frames/s  %9.1f x real time (8 ch, 48 kHz)\n", what, perSecond,
         perSecond / 48000.0);
}

// Capture: network rings -> buffer (converted) -> application.
double capture(snd_pcm_format_t format, size_t width) {
  std::vector<std::vector<int32_t>> rings(kChannels, std::vector<int32_t>(kRingLength));
  for (unsigned c = 0; c < kChannels; ++c) {
    for (unsigned i = 0; i < kRingLength; ++i) rings[c][i] = int32_t(i * 2654435761u + c);
  }
  std::vector<const int*> rx;
  for (auto& r : rings) rx.push_back(r.data());
  IntermediateBuffer buffer(kChannels, kBufferFrames, SND_PCM_STREAM_CAPTURE, 48000);
  std::vector<uint8_t> app(kBatch * kChannels * width);
  unsigned head = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (unsigned i = 0; i < kRounds; ++i) {
    {
      std::lock_guard<std::mutex> lock(buffer.mutex());
      buffer.writeNetaudioSamples(format, kBatch, rx, kChannels, head, kRingLength);
    }
    buffer.readAlsaSamples(app.data(), kBatch * kChannels, ssize_t(width));
  }
  return secondsSince(t0);
}

// Playback: application -> buffer -> network rings (converted).
double playback(snd_pcm_format_t format, size_t width) {
  std::vector<std::vector<int32_t>> rings(kChannels, std::vector<int32_t>(kRingLength));
  std::vector<int*> tx;
  for (auto& r : rings) tx.push_back(r.data());
  IntermediateBuffer buffer(kChannels, kBufferFrames, SND_PCM_STREAM_PLAYBACK, 48000);
  std::vector<uint8_t> app(kBatch * kChannels * width);
  for (size_t i = 0; i < app.size(); ++i) app[i] = uint8_t(i * 37);
  if (format == SND_PCM_FORMAT_FLOAT_LE) {
    float* f = reinterpret_cast<float*>(app.data());
    for (size_t i = 0; i < app.size() / 4; ++i) f[i] = float(i % 200) / 100.0f - 1.0f;
  }
  unsigned head = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (unsigned i = 0; i < kRounds; ++i) {
    buffer.writeAlsaSamples(app.data(), kBatch * kChannels, ssize_t(width));
    std::lock_guard<std::mutex> lock(buffer.mutex());
    buffer.readNetaudioSamples(format, kBatch, tx, kChannels, head, kRingLength);
  }
  return secondsSince(t0);
}

// Two plain copies of the same bytes per batch (the ALSA side and the network side).
double plainCopy(size_t width) {
  std::vector<uint8_t> a(kBatch * kChannels * width), b(a.size()), c(a.size());
  const auto t0 = std::chrono::steady_clock::now();
  for (unsigned i = 0; i < kRounds; ++i) {
    memcpy(b.data(), a.data(), a.size());
    memcpy(c.data(), b.data(), b.size());
    asm volatile("" : : "r"(c.data()) : "memory");
  }
  return secondsSince(t0);
}

}  // namespace

int main() {
  const double frames = double(kRounds) * kBatch;
  struct Format {
    snd_pcm_format_t format;
    size_t width;
    const char* name;
  } formats[] = {{SND_PCM_FORMAT_S16_LE, 2, "S16_LE"},
                 {SND_PCM_FORMAT_S32_LE, 4, "S32_LE"},
                 {SND_PCM_FORMAT_FLOAT_LE, 4, "FLOAT_LE"}};
  for (const Format& f : formats) {
    char label[64];
    snprintf(label, sizeof label, "capture  %s", f.name);
    print(label, capture(f.format, f.width), frames);
    snprintf(label, sizeof label, "playback %s", f.name);
    print(label, playback(f.format, f.width), frames);
    snprintf(label, sizeof label, "memcpy x2, %zu-byte samples", f.width);
    print(label, plainCopy(f.width), frames);
  }
  return 0;
}
