// The writes that carry one setting of a configuration record to the board (DSP cells, gain
// ranges, phantom lines). Start-up, power-on and a preset recall are made of them. A value a
// protocol could not have set is held to its range on the way.
#pragma once

#include <functional>

#include "devctl/core/app_config.h"

void WriteInputGain(app_config_s& record, int c);  // analogue: the gain range first
void WriteInputMute(app_config_s& record, int c);
void WriteOutputVolume(app_config_s& record, int c);
void WriteOutputMute(app_config_s& record, int c);
void WriteOutputDelay(app_config_s& record, int c);
void WriteOutputSource(app_config_s& record, int c);
void WritePhantom(app_config_s& record, int c);
// The eight bands of the memory slot c plays (channels 0-13 only; a selection outside the
// memories leaves the DSP as it is).
void WriteEqBands(const app_config_s& record, int side, int c);

// Runs write on the live record under the configuration lock. A sequence of such writes that runs
// after its change released the lock still ends on what the record holds: a command made in
// between either wrote its own value after, or is read here.
void WriteLive(const std::function<void(app_config_s&)>& write);
