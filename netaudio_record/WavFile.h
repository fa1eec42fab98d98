// trecord's WAV writer: a 44-byte RIFF/WAVE PCM header and interleaved frames holding the low
// bits_per_sample / 8 bytes of each 32-bit ring sample, least significant byte first.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

struct wav_info {
  uint16_t channel_count;
  uint16_t bits_per_sample;
  uint32_t sample_rate;
  uint32_t frame_count;
};

constexpr size_t kWavHeaderSize = 44;
// Largest data chunk a RIFF file can describe: the RIFF size (data size + 36) is 32 bits.
constexpr uint64_t kWavMaxDataBytes = 0xFFFFFFFFull - 36;

// Bytes per frame: channel_count x bits_per_sample / 8.
uint32_t wav_block_size(const wav_info& info);
// The header for `info`; sizes computed in 64 bits, and a data size beyond kWavMaxDataBytes
// is cut to the whole frames that fit, so the sizes never wrap.
std::array<uint8_t, kWavHeaderSize> wav_header_bytes(const wav_info& info);

// Creates (truncates) `path` for writing, unbuffered, positioned after the header's 44 bytes;
// nullptr when it cannot be opened or the seek fails.
FILE* open_wav_file(const char* path);
// Writes the header at offset 0 with one fwrite. Returns 0 or the errno of the failure. The
// file position is left after the header.
int write_wav_hdr(const wav_info* info, FILE* file);

// Packs `count` frames, frame i from sample head + i of every ring, into `out` (count x block
// bytes).
void pack_frames(const wav_info& info, const int32_t* const* rings, unsigned head, unsigned count,
                 uint8_t* out);
// Writes one frame (one sample per channel) with one fwrite. Returns 0 or the errno.
int write_sample(const wav_info* info, FILE* file, const int* frame);
