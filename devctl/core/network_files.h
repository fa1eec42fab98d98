// The files the board's network scripts read: the dhcpcd configuration and the host name.
#pragma once

#include <string>

// "/etc/hostname" := name (no line end), "/tmp/hostname" := "1", sync, 1 ms. 0, or -1 when a
// file could not be written.
int WriteHostname(std::string name);

// The static-address dhcpcd configuration for these settings. False (and *text untouched) unless
// address and gateway are IPv4 addresses, subnet a dotted quad and the DNS server an IPv4 or IPv6
// address (an IPv6 one may carry a zone, "fe80::1%eth0"): the text goes to a file that dhcpcd runs
// as root, so nothing else may reach it.
bool FormatDhcpcdStatic(const std::string& address, const std::string& subnet,
                        const std::string& gateway, const std::string& dns, std::string* text);

// Writes the static configuration to "/etc/dhcpcd.conf" and syncs. -1 (file unchanged, a message
// printed) when a setting is not a valid address or the file cannot be written.
int WriteDhcpcdStaticFor(const std::string& address, const std::string& subnet,
                         const std::string& gateway, const std::string& dns);

// Body of the short-lived thread that restarts dhcpcd: 200 ms, then its init script.
void RestartDhcpcd();

// The static configuration from the live record.
int WriteDhcpcdStatic();
