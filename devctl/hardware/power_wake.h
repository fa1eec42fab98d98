// The wake-up every command makes first: restarts the auto-standby countdown and, when the unit is
// in standby, switches it on (the power worker then carries out the power-on sequence).
#pragma once

#include <string>

// When the unit was off, the power-on notice is appended to notice, which the caller sends to the
// control ports once it released the configuration lock, ahead of the command's own text.
// Does not save.
void WakeOnCommand(std::string& notice);
