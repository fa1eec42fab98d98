// Setting up the three control ports from the live configuration, at start-up and when the
// service loop restarts one after a command changed its settings.
#pragma once

#include "devctl/core/port_restarts.h"

// Raw TCP server ("tcpthread", port `tcpport`) when `tcpportenable` is set. From the first call of
// either on, a command that turns on a server that is on but not listening starts it (ListenNow).
void StartTcpServerFromConfig();
// Telnet server ("telnetthread", port `telnetport`) when `telnet_enable` is set.
void StartTelnetServerFromConfig();
// RS-232 port ("uartthread") at the stored `baudrate`; started whatever the configuration says.
void StartUartFromConfig();
// All three, in that order (the command history must be initialised first).
void StartControlPorts();

// Stop, a 100 ms pause, and the set-up again from the live configuration; the server's restart
// flag is cleared once it is set up again.
void RestartTcpServer();
void RestartTelnetServer();
void RestartUart();
