// The addresses eth0 really has, as the status pages and replies show them.
#pragma once

// Brings the address, netmask, gateway and DNS server of g_unit.net_status up to date. Nothing changes
// while eth0's link is down; a query that fails keeps that field's last value. The DNS server
// found in "/etc/resolv.conf" is also copied into the live configuration.
void RefreshNetworkStatus();
