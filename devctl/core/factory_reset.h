// The two factory resets that end in a reboot. The caller announces the reset and asks for the
// reboot (RequestReboot) after these return.
#pragma once

// The system reset: everything but the user accounts and the network settings goes back to the
// factory values in the live record. The caller holds the configuration lock and saves.
void ResetSystemSettings();

// The reset of everything, for the next start: the network-audio module's configuration cleared,
// the DHCP configuration restored, a fresh factory record (device type "TRX") written as the final
// configuration (no later save replaces it before the reboot) and the factory host name written.
// The live record is not changed. False when the configuration file could not be written.
bool ResetAllForNextStart();
