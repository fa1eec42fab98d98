// The wake-up every command makes first: restarts the auto-standby countdown and, when the unit is
// in standby, switches it on (the power worker then carries out the power-on sequence).
#pragma once

#include <string>

// The reply is not used: the power-on notice goes straight to every control port, ahead of the
// command's own reply. Does not save.
void WakeOnCommand(std::string* reply);
