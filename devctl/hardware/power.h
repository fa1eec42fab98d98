// Power and standby. Commands only change the wanted state (`power` of the live configuration);
// the power and preset worker carries the change out within 200 ms.
#pragma once

#include <cstdint>

// The rail part of the stored power state, called when the boot screen ends.
void ApplyPowerRails(uint8_t on);

// One pass of the power and preset worker: a power sequence when `power` differs from what was
// last carried out (at first, what start-up carried out), then the board writes of the preset
// recalls made since the last pass, with the audio-mute line raised.
void PowerWorkerPass();
// The worker: a pass every 200 ms, for ever.
void RunPowerThread();
void StartPowerThread();
