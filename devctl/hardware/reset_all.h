// Reset of every setting to the factory values, as the reset key and the panel's factory-reset
// page make it.
#pragma once

// Clears the network-audio module's stored configuration, restores the DHCP configuration of
// dhcpcd, resets the live record (device type "TRX") and saves it. The caller announces it and
// asks for the reboot.
void ResetAllSettings();
