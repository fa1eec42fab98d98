// Setting up the three control ports from the live configuration, at start-up and when the
// service loop restarts one after a command changed its settings.
#pragma once

#include "devctl/core/port_restarts.h"

// Raw TCP server ("tcpthread", port `tcpport`) when `tcpportenable` is set; its listening sockets
// closed when it is not. From the first call of either on, a command that turns a server on or
// moves it holds its port first and starts a server that is on but not listening (ListenNow).
void StartTcpServerFromConfig();
// Telnet server ("telnetthread", port `telnetport`) when `telnet_enable` is set.
void StartTelnetServerFromConfig();
// RS-232 port ("uartthread") at the stored `baudrate`; started whatever the configuration says.
void StartUartFromConfig();
// All three, in that order (the command history must be initialised first).
void StartControlPorts();

// Stop, a 100 ms pause, and the set-up again from the live configuration; the server's restart
// flag is cleared once it is set up again. The network servers keep their listening socket
// through the pause and start on it again when their port stays the same.
void RestartTcpServer();
void RestartTelnetServer();
void RestartUart();
