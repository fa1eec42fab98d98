#include "devctl/core/port_restarts.h"

std::atomic<bool> g_telnet_restart{false};
std::atomic<bool> g_tcp_restart{false};
std::atomic<bool> g_uart_restart{false};
