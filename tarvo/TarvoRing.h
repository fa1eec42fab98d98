// Ring arithmetic shared by every client of the area.
#pragma once

#include <cstdint>

namespace Tarvo {

// The position of period count P in rings of ringLength samples, moved on by `lead` samples
// (negative leads go back): (P x samplesPerPeriod + lead) mod ringLength in 64-bit arithmetic.
// Returns 0 for ringLength 0.
inline uint32_t ringPosition(uint64_t periodCount, uint32_t samplesPerPeriod, uint32_t ringLength,
                             int64_t lead = 0) {
  if (ringLength == 0) return 0;
  const uint64_t base = (periodCount % ringLength) * (samplesPerPeriod % ringLength) % ringLength;
  int64_t leadMod = lead % static_cast<int64_t>(ringLength);
  if (leadMod < 0) leadMod += ringLength;
  return static_cast<uint32_t>((base + static_cast<uint64_t>(leadMod)) % ringLength);
}

// One stretch of `count` samples from `head` in a ring of ringLength, split at the ring end:
// first [head, head + first), then [0, second). The head may rest at ringLength (first = 0
// when count needs it, the stretch then starts at 0).
struct RingSplit {
  uint32_t first;
  uint32_t second;
};

inline RingSplit splitAtRingEnd(uint32_t head, uint32_t count, uint32_t ringLength) {
  if (head >= ringLength) return RingSplit{0, count};
  const uint32_t room = ringLength - head;
  if (count <= room) return RingSplit{count, 0};
  return RingSplit{room, count - room};
}

}  // namespace Tarvo
