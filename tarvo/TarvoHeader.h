// The shared-memory area of the network-audio engine as its clients see it: the header at the
// start of the main segment, the timing subheader, and the limits on segment names.
//
// The engine owns the area and writes every field; clients only read them, through a volatile
// view so that every use reads the shared memory again. 64-bit fields are naturally aligned and
// are loaded whole (never as two halves).
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace Tarvo {

// Longest segment name, "TarvoEP" style, passed to shm_open unchanged (no "/" added).
constexpr size_t kNameLength = 31;
// Mode used to open segments (clients never create them).
constexpr mode_t kMode = 0666;
// Default area name of every program.
constexpr const char* kDefaultAreaName = "TarvoEP";

// flags bits
constexpr uint32_t kFlagSplitLayout = 0x1;       // tx in name+"Tx", rx in name+"Rx"
constexpr uint32_t kFlagTimeUpdating = 0x10000;  // monotonic/period_count being written

// Directions, the index into channel0_offset_bytes and num_channels.
constexpr unsigned kTx = 0;
constexpr unsigned kRx = 1;

// Timing object types.
constexpr uint32_t kTimingObjectSemaphore = 1;  // POSIX named semaphore, posted once per period

struct buffer_header {
  uint32_t magic;                     // 0x00 non-zero while the area is in use
  uint32_t buffer_length;             // 0x04
  uint32_t header_length;             // 0x08
  uint32_t flags;                     // 0x0C kFlagSplitLayout, kFlagTimeUpdating
  uint32_t channel0_offset_bytes[2];  // 0x10 [kTx], [kRx]: from the base of the segment holding it
  uint32_t timing_object_offset_bytes;  // 0x18 from the main base, 0 = no subheader
  uint32_t reset_count;                 // 0x1C odd while the engine reconfigures
  uint32_t samplerate;                  // 0x20 Hz
  uint32_t encoding;                    // 0x24 bits per sample
  uint32_t samples_per_channel;         // 0x28 ring length, every channel
  uint32_t bytes_per_channel;           // 0x2C stride between channel starts
  uint32_t num_channels[2];             // 0x30 [kTx], [kRx]
  uint8_t reserved0[8];                 // 0x38
  uint32_t epoch[2];                    // 0x40
  uint32_t samples_per_period;          // 0x48
  uint8_t reserved1[4];                 // 0x4C
  uint64_t period_count;                // 0x50
  uint32_t clock_drift_ppb;             // 0x58
  uint8_t reserved2[4];                 // 0x5C
  uint64_t monotonic;                   // 0x60 engine's monotonic count at the last period (ns)
};

static_assert(offsetof(buffer_header, magic) == 0x00);
static_assert(offsetof(buffer_header, buffer_length) == 0x04);
static_assert(offsetof(buffer_header, header_length) == 0x08);
static_assert(offsetof(buffer_header, flags) == 0x0C);
static_assert(offsetof(buffer_header, channel0_offset_bytes) == 0x10);
static_assert(offsetof(buffer_header, timing_object_offset_bytes) == 0x18);
static_assert(offsetof(buffer_header, reset_count) == 0x1C);
static_assert(offsetof(buffer_header, samplerate) == 0x20);
static_assert(offsetof(buffer_header, encoding) == 0x24);
static_assert(offsetof(buffer_header, samples_per_channel) == 0x28);
static_assert(offsetof(buffer_header, bytes_per_channel) == 0x2C);
static_assert(offsetof(buffer_header, num_channels) == 0x30);
static_assert(offsetof(buffer_header, reserved0) == 0x38);
static_assert(offsetof(buffer_header, epoch) == 0x40);
static_assert(offsetof(buffer_header, samples_per_period) == 0x48);
static_assert(offsetof(buffer_header, reserved1) == 0x4C);
static_assert(offsetof(buffer_header, period_count) == 0x50);
static_assert(offsetof(buffer_header, clock_drift_ppb) == 0x58);
static_assert(offsetof(buffer_header, reserved2) == 0x5C);
static_assert(offsetof(buffer_header, monotonic) == 0x60);
static_assert(sizeof(buffer_header) == 0x68);

// Smallest main segment a client will read a header from.
constexpr size_t kMinHeaderSize = sizeof(buffer_header);

struct timing_object_subheader {
  uint8_t reserved[4];   // 0x00
  uint32_t object_type;  // 0x04 kTimingObjectSemaphore, anything else = none (poll)
  char object_name[1];   // 0x08 NUL-terminated, length set by the engine
};

static_assert(offsetof(timing_object_subheader, reserved) == 0x00);
static_assert(offsetof(timing_object_subheader, object_type) == 0x04);
static_assert(offsetof(timing_object_subheader, object_name) == 0x08);

// Fixed part of the subheader, before the name.
constexpr size_t kSubheaderFixedSize = offsetof(timing_object_subheader, object_name);

}  // namespace Tarvo
