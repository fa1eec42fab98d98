#include "devctl/hardware/apply_config.h"

#include <functional>
#include <memory>

#include "devctl/core/record_writes.h"
#include "devctl/devices/dsp_channels.h"

namespace {

using WithRecord = std::function<void(const std::function<void(app_config_s&)>&)>;

// Every setting, each write made through with: phantom lines, the channels (gain, mutes,
// volume), the delays, the EQ memories played, the routing.
void Apply(const WithRecord& with) {
  for (int c = 0; c < kAnalogueChannels; ++c) {
    with([c](app_config_s& r) { WritePhantom(r, c); });
  }
  for (int c = 0; c < kDspChannelCount; ++c) {
    with([c](app_config_s& r) {
      WriteInputGain(r, c);
      WriteInputMute(r, c);
      WriteOutputVolume(r, c);
      WriteOutputMute(r, c);
    });
  }
  for (int c = 0; c < kDspChannelCount; ++c) {
    with([c](app_config_s& r) { WriteOutputDelay(r, c); });
  }
  for (int side : {EQ_SIDE_INPUT, EQ_SIDE_OUTPUT}) {
    for (int c = 0; c < kDspChannelCount; ++c) {
      with([side, c](app_config_s& r) { WriteEqBands(r, side, c); });
    }
  }
  for (int c = 0; c < kDspChannelCount; ++c) {
    with([c](app_config_s& r) { WriteOutputSource(r, c); });
  }
}

}  // namespace

void ApplyConfigToHardware(const app_config_s& cfg) {
  // A private copy: the per-channel accessors are not const.
  auto copy = std::make_unique<app_config_s>(cfg);
  Apply([&copy](const std::function<void(app_config_s&)>& write) { write(*copy); });
}

void ApplyConfigToHardware() {
  // The DSP writes take a while: the lock is taken for each write only, and each reads the live
  // record then, so a command made meanwhile is what the board ends with.
  Apply(WriteLive);
}
