#include "devctl/text/control_servers.h"

CTcpserver g_tcp_server;
CTcpserver g_telnet_server;
CUart g_uart;
