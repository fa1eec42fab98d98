#include "devctl/core/uptime.h"

#include <sys/sysinfo.h>

#include <cstdio>

long UptimeSeconds() {
  struct sysinfo info {};
  return sysinfo(&info) == 0 ? info.uptime : 0;
}

std::string FormatUptime(long seconds) {
  if (seconds < 0) seconds = 0;
  char text[48];
  snprintf(text, sizeof text, "%04ld:%02ld:%02ld:%02ld", seconds / 86400, (seconds / 3600) % 24,
           (seconds / 60) % 60, seconds % 60);
  return text;
}
