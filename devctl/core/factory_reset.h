// The factory resets. Each one is kept only once it is on disk: the new record is written first,
// and only then does it become the live record and are the system files changed, so a reset
// whose save fails changes nothing. None of them asks for the reboot that follows.
#pragma once

#include "devctl/core/unit_state.h"

// The system reset: everything but the user accounts and the network settings back to the factory
// values. A copy of the live record is reset and saved (with the settings of an open network edit,
// as every save of the live record); the reset copy becomes the live record.
// False, with nothing changed, when the save failed. Takes the configuration lock.
bool ResetSystemSettings(UnitState& unit);

// The reset of everything into the live record (text RESET ALL, the reset key, the panel's
// factory-reset page): the factory record (device type "TRX") is written as the final
// configuration (no later save replaces it before the reboot); then the network-audio module's
// configuration is cleared, the DHCP configuration restored, the factory host name written and
// the live record replaced, an open text network edit dropped. False, with nothing changed, when
// the configuration file could not be written.
bool ResetAllSettings(UnitState& unit);

// The same reset for the next start only (web): the live record is not changed.
bool ResetAllForNextStart(UnitState& unit);
