// The channel settings of a record read from a file (app.json or a preset file) kept within what
// the control protocols can set, so a hand-edited or damaged file plays as a command could have
// made it play: levels clamped to their range, flags and group memberships 0 or 1, a source or an
// EQ selection that names nothing cleared.
#pragma once

#include "devctl/core/app_config.h"

// Bounds every channel setting of cfg; prints one line per value it had to change, naming it.
void BoundChannelSettings(app_config_s* cfg);

// The stored power state and USB port as every part of the unit reads them: a value other than 0
// is 1 (on; USB-B), as the audio and the port lines take it, so the panel shows what the unit
// does. Prints a line for each value it had to change.
void BoundSystemSettings(app_config_s* cfg);
