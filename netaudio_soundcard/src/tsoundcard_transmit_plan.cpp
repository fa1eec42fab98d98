#include "netaudio_soundcard/src/tsoundcard_transmit_plan.h"

#include <algorithm>

namespace tsoundcard {

uint32_t transmitLeadSamples(uint32_t rate, uint32_t samplesPerPeriod, uint32_t samplesPerChannel) {
  const uint64_t fiveMs = uint64_t(rate) * 5u / 1000u;
  const uint64_t periodAndMargin = uint64_t(samplesPerPeriod) + uint64_t(rate) / 1000u;
  return uint32_t(std::min<uint64_t>(std::max(fiveMs, periodAndMargin), samplesPerChannel));
}

uint64_t positionsBehindEngine(uint64_t periodsPastCount, uint32_t samplesPerPeriod, uint32_t lead,
                               uint64_t due) {
  // The window starts at count x spp + lead - due; the engine stands at
  // (count + periodsPastCount) x spp.
  // A count beyond any product (a hostile header) is far past the whole window.
  if (samplesPerPeriod != 0 && periodsPastCount > (UINT64_MAX - due) / samplesPerPeriod) {
    return due;
  }
  const uint64_t engineAhead = periodsPastCount * samplesPerPeriod + due;
  if (engineAhead <= lead) return 0;
  return std::min<uint64_t>(engineAhead - lead, due);
}

PlaybackBatch planPlaybackBatch(uint64_t due, uint64_t behind, uint64_t held,
                                bool firstAfterStart) {
  PlaybackBatch batch;
  behind = std::min(behind, due);
  // The frames this window is for, at its end.
  const uint64_t placed = firstAfterStart ? std::min(held, due) : due;
  const uint64_t empty = due - placed;
  batch.skipped = std::max(behind, empty);
  batch.dropped = behind > empty ? behind - empty : 0;
  batch.frames = placed - batch.dropped;
  batch.pointerAdvance = placed;
  return batch;
}

}  // namespace tsoundcard
