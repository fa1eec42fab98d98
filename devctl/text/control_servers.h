// The three control ports of the text protocol: construction opens nothing and starts no thread
// (control_ports.h sets them up from the configuration and restarts them).
#pragma once

#include "devctl/text/tcp_server.h"
#include "devctl/text/uart.h"

struct ControlServers {
  CTcpserver tcp;     // raw TCP control port
  CTcpserver telnet;  // telnet control port
  CUart uart;         // RS-232 control port
};

// Global because notices from every thread (web commands, the panel, the workers) reach the
// clients of all three ports.
extern ControlServers g_control_servers;
