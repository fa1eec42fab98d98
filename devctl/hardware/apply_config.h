// Sends the audio part of a configuration to the hardware in one pass: phantom lines, analogue
// gain ranges, every channel's gain, mute and volume, the output delays, both equalisers of
// every channel and, last, the routing. Used after the DSPs were booted (start-up, wake from
// deep sleep). It reads the record and changes nothing in it; it does not save.
//
// Stored values are used as stored, except where a damaged file could do harm: mutes and
// phantom count as set when non-zero, volumes are clamped to 0-100 and delays to 0-50 ms (the
// input gain is clamped by DspSetInputGain).
#pragma once

#include "devctl/core/app_config.h"

// Applies g_unit.config: the configuration lock is taken for each write, which sends what the
// record holds at that moment.
void ApplyConfigToHardware();
// Applies the given record.
void ApplyConfigToHardware(const app_config_s& cfg);
