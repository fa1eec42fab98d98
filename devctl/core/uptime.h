// Time since boot, as the status replies and documents show it.
#pragma once

#include <string>

// Seconds since boot (the system's uptime); 0 when it cannot be read.
long UptimeSeconds();

// "%04d:%02d:%02d:%02d": days, hours (0-23), minutes, seconds.
std::string FormatUptime(long seconds);
