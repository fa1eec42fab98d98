// Queries (and one setter) of the unit's network interfaces: address, netmask, hardware
// address, link state and default gateway. Every helper prints its own message on failure and
// closes its socket on every path. Output buffers hold at least 64 bytes.
#pragma once

// 0 for "eth0" and "lo", 1 for "eth1" and "enp1s0", 2 for "eth2"; -1 (with a message) otherwise.
int NetIfIndex(const char* ifname);

int NetGetLocalIp(const char* ifname, char* out);
int NetGetNetmask(const char* ifname, char* out);
// "xx:xx:xx:xx:xx:xx" in lower case.
int NetGetMac(const char* ifname, char* out);
// 1 when the interface is running, 0 when not, -1 when the query fails.
int NetLinkRunning(const char* ifname);
// The gateway of the first default route in the kernel's routing table "/proc/net/route" (any
// interface), else "169.254.0.1"; -1 (with a message) when the table cannot be read.
int NetGetGateway(const char* ifname, char* out);

// Sets the hardware address (interface down, address, up); the address must be
// "xx:xx:xx:xx:xx:xx". Nothing in the program calls it; kept for service use.
int NetSetMac(char* ifname, const char* mac);

// True for "xx:xx:xx:xx:xx:xx" with hex digits of either case.
bool IsMacAddressText(const char* text);
