// Restart requests of the control ports, set by the commands that change a port's settings and
// carried out by the service loop. Several requests before a pass give one restart.
#pragma once

#include <atomic>

extern std::atomic<bool> g_telnet_restart;
extern std::atomic<bool> g_tcp_restart;
extern std::atomic<bool> g_uart_restart;
