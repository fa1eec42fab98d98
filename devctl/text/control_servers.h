// The three control ports of the text protocol, process-wide: construction opens nothing and
// starts no thread (control_ports.h sets them up from the configuration).
#pragma once

#include "devctl/text/tcp_server.h"
#include "devctl/text/uart.h"

extern CTcpserver g_tcp_server;     // raw TCP control port
extern CTcpserver g_telnet_server;  // telnet control port
extern CUart g_uart;                // RS-232 control port
