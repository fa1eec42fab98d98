#include "devctl/core/service_loop.h"

std::atomic<bool> g_telnet_restart{false};
std::atomic<bool> g_tcp_restart{false};
std::atomic<bool> g_uart_restart{false};
