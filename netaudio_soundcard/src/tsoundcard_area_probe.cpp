#include "netaudio_soundcard/src/tsoundcard_area_probe.h"

#include <atomic>

#include "tarvo/TarvoBuffers.h"

namespace tsoundcard {

AreaState probeArea(const std::string& name) {
  AreaState state;
  Tarvo::Buffers area;
  if (area.connect(name, false) != 0) return state;
  const volatile Tarvo::buffer_header* header = area.getHeader();
  state.present = true;
  state.open = header->magic != 0;
  state.resetCount = header->reset_count;
  state.stable = (state.resetCount & 1u) == 0;
  std::atomic_thread_fence(std::memory_order_acquire);
  state.periodCount = header->period_count;
  // refresh() checks the layout against the mapping as well as its timing fields.
  state.carriesAudio = state.stable && area.refresh();
  if (state.stable) {
    state.samplesPerPeriod = header->samples_per_period;
    state.samplerate = header->samplerate;
  }
  std::atomic_thread_fence(std::memory_order_acquire);
  if (header->reset_count != state.resetCount) state.stable = false;  // changed under us
  return state;
}

}  // namespace tsoundcard
