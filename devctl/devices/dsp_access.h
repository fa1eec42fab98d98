// Register access of the two DSPs on bus 3: 8.24 fixed point, block writes in 60-byte chunks,
// single words, and the safeload by which every run-time parameter change reaches a DSP.
//
// Register map: 16-bit register addresses, 4-byte words (MSB first, one address per word),
// program memory from 0xC000, data memory 0 from 0x0000, data memory 1 from 0x6000, control
// registers (2-byte values) from 0xF000. Safeload: data slots 0x6000-0x6004, target 0x6005,
// count 0x6006, always written in that order.
//
// Channel index (protocol channel less one): 0-3 analogue 1-4, 4-11 network (Tarvo) 1-8,
// 12-13 USB left/right. Indexes 4-11 live on DSP B, every other index on DSP A.
#pragma once

#include <cstdint>
#include <mutex>

#include "devctl/devices/i2c_bus.h"

constexpr uint16_t kDspSafeloadData = 0x6000;
constexpr uint16_t kDspSafeloadTarget = 0x6005;
constexpr uint16_t kDspSafeloadCount = 0x6006;
// Data bytes of one block-write transfer (15 words); the register advances 15 per chunk.
constexpr int kDspChunkBytes = 60;

constexpr int kDspChannelCount = 14;
constexpr int kDspBands = 8;

// First coefficient of band 0 of each channel's equaliser; band b starts 5 * b words later.
// Row 0 inputs, row 1 outputs.
extern const uint32_t g_dsp_biquad_addr[2][kDspChannelCount];

// The DSP (8-bit address) that holds a channel's parameters.
constexpr uint8_t DspAddressForChannel(int channel) {
  return static_cast<unsigned>(channel - 4) < 8 ? kDspBAddress8 : kDspAAddress8;
}

// 4 bytes read as a big-endian unsigned integer, times 2^-24 (FF000000 is 255.0).
double Fixed824ToDouble(const uint8_t word[4]);
// v * 2^24 truncated toward zero into bytes 4i..4i+3, MSB first. NaN gives 0; values outside
// the 8.24 range saturate at its ends instead of wrapping.
void DoubleToFixed824(uint8_t* buf, int i, double v);

// Writes len bytes in chunks of 60 to reg, reg + 15, ...; then 5 us. len < 1: only the pause.
void DspBlockWrite(uint8_t address8, uint16_t reg, int32_t len, const uint8_t* data);
// One 4-byte write, MSB first. The bus result: 0 written, otherwise failed.
int DspWriteWord(uint8_t address8, uint16_t reg, uint32_t value);
// One 4-byte read, left in bus order. The bus result: 0 read, otherwise failed (out left as it
// was).
int DspReadWord(uint8_t address8, uint16_t reg, uint8_t out[4]);
// The 5 ms pause of the boot sequences.
void DspDelay5ms();

// The per-DSP safeload lock: held across the three transfers of a safeload and across that
// DSP's boot, so that no other thread's safeload falls between them. An inner lock: never take
// the configuration lock while holding it.
std::mutex& DspSafeloadMutex(uint8_t address8);

// One-word safeload: word -> 0x6000, cell -> 0x6005, 1 -> 0x6006 on the given DSP.
void DspSafeloadWord(uint8_t address8, uint16_t cell, uint32_t word);
// Five-word safeload of one equaliser band: 20 coefficient bytes -> 0x6000, the band's address
// -> 0x6005, 5 -> 0x6006, on the channel's DSP. Direction 0-1, channel 0-13 and band 0-7;
// anything else is reported and ignored.
void DspSafeloadBiquad(uint32_t direction, uint32_t channel, uint8_t band,
                       const uint8_t coefficients[20]);
