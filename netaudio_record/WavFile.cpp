#include "netaudio_record/WavFile.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

void putU16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void putU32(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

int writeError(FILE* file) {
  const int err = ferror(file) && errno != 0 ? errno : EIO;
  return err;
}

void packSample(int32_t sample, unsigned bytes, uint8_t* out) {
  const uint32_t bits = static_cast<uint32_t>(sample);
  for (unsigned b = 0; b < bytes; ++b) out[b] = uint8_t(bits >> (8 * b));
}

}  // namespace

uint32_t wav_block_size(const wav_info& info) {
  return uint32_t{info.channel_count} * info.bits_per_sample / 8;
}

std::array<uint8_t, kWavHeaderSize> wav_header_bytes(const wav_info& info) {
  const uint64_t block = wav_block_size(info);
  uint64_t dataSize = uint64_t{info.frame_count} * info.channel_count * info.bits_per_sample / 8;
  if (dataSize > kWavMaxDataBytes) dataSize = block == 0 ? 0 : kWavMaxDataBytes / block * block;
  uint64_t byteRate = uint64_t{info.sample_rate} * info.channel_count * info.bits_per_sample / 8;
  if (byteRate > 0xFFFFFFFFull) byteRate = 0xFFFFFFFFull;

  std::array<uint8_t, kWavHeaderSize> h{};
  memcpy(&h[0], "RIFF", 4);
  putU32(&h[4], dataSize + 36);
  memcpy(&h[8], "WAVE", 4);
  memcpy(&h[12], "fmt ", 4);
  putU32(&h[16], 16);
  putU16(&h[20], 1);
  putU16(&h[22], info.channel_count);
  putU32(&h[24], info.sample_rate);
  putU32(&h[28], byteRate);
  putU16(&h[32], static_cast<uint32_t>(block));
  putU16(&h[34], info.bits_per_sample);
  memcpy(&h[36], "data", 4);
  putU32(&h[40], dataSize);
  return h;
}

FILE* open_wav_file(const char* path) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) return nullptr;
  // Frames are handed over a stretch at a time, so the stream needs no buffer of its own; and
  // without one, a failed write tells exactly how many bytes reached the file.
  setvbuf(file, nullptr, _IONBF, 0);
  if (fseek(file, static_cast<long>(kWavHeaderSize), SEEK_SET) != 0) {
    fclose(file);
    return nullptr;
  }
  return file;
}

int write_wav_hdr(const wav_info* info, FILE* file) {
  const std::array<uint8_t, kWavHeaderSize> header = wav_header_bytes(*info);
  errno = 0;
  if (fseek(file, 0, SEEK_SET) != 0) return errno != 0 ? errno : EIO;
  if (fwrite(header.data(), 1, header.size(), file) != header.size()) return writeError(file);
  return 0;
}

void pack_frames(const wav_info& info, const int32_t* const* rings, unsigned head, unsigned count,
                 uint8_t* out) {
  const unsigned bytes = info.bits_per_sample / 8;
  for (unsigned i = 0; i < count; ++i) {
    for (unsigned ch = 0; ch < info.channel_count; ++ch) {
      packSample(rings[ch][head + i], bytes, out);
      out += bytes;
    }
  }
}

int write_sample(const wav_info* info, FILE* file, const int* frame) {
  const unsigned bytes = info->bits_per_sample / 8;
  std::vector<uint8_t> packed(size_t{info->channel_count} * bytes);
  for (unsigned ch = 0; ch < info->channel_count; ++ch) {
    packSample(frame[ch], bytes, &packed[size_t{ch} * bytes]);
  }
  errno = 0;
  if (fwrite(packed.data(), 1, packed.size(), file) != packed.size()) return writeError(file);
  return 0;
}
