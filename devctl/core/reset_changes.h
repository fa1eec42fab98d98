// The two factory resets of the live configuration, as the text RESET / RESET ALL commands, the
// reset key and the panel's factory-reset page make them. The caller holds the configuration lock.
#pragma once

#include <string>

// The system reset (factory_reset.h) saved, announced in lines and the reboot asked for. False
// when the save failed.
bool ResetSystemSettingsAndReboot(std::string& lines);

// Clears the network-audio module's stored configuration, restores the DHCP configuration of
// dhcpcd, resets the live record (device type "TRX") and saves it. False when the save failed.
// The caller announces it and asks for the reboot.
bool ResetAllSettings();

// ResetAllSettings, the default host name written, the reset announced in lines and the reboot
// asked for. False when the save failed.
bool ResetAllSettingsAndReboot(std::string& lines);

// The live record saved (a unit woken from standby comes back on), the reboot announced in lines,
// the file systems synced and, 100 ms later, the reboot asked for. False when the save failed.
bool RebootUnit(std::string& lines);

// The live record saved, then the reboot asked for (RequestReboot). False when the save failed.
bool SaveAndRequestReboot();
