#include "devctl/text/broadcast.h"

#include "devctl/core/globals.h"

void BroadcastToPorts(const std::string& text) {
  const int len = static_cast<int>(text.size());
  g_tcp_server.SendAll(text.data(), len);
  g_telnet_server.SendAll(text.data(), len);
  g_uart.Write(text.data(), len);
}
