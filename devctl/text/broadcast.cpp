#include "devctl/text/broadcast.h"

#include "devctl/core/notices.h"
#include "devctl/text/control_servers.h"
#include "devctl/text/greetings.h"

void BroadcastToPorts(const std::string& text) {
  const int len = static_cast<int>(text.size());
  g_control_servers.tcp.SendAll(text.data(), len);
  g_control_servers.telnet.SendAll(text.data(), len);
  g_control_servers.uart.Write(text.data(), len);
}

void SendToNetworkClients(const std::string& text) {
  const int len = static_cast<int>(text.size());
  g_control_servers.tcp.SendAll(text.data(), len);
  g_control_servers.telnet.SendAll(text.data(), len);
}

void RegisterControlPortNotices() {
  SetNoticeSink(BroadcastToPorts);
  SetNetworkNoticeSink(SendToNetworkClients);
  SetSerialBannerHook(SendUartBanner);
}
