#include "devctl/web/web_notice.h"

#include "devctl/core/globals.h"

void SendNotice(const std::string& text) {
  if (text.empty()) return;
  const int length = static_cast<int>(text.size());
  g_tcp_server.SendAll(text.data(), length);
  g_telnet_server.SendAll(text.data(), length);
  g_uart.Write(text.data(), length);
}
