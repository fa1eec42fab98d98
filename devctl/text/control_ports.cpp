#include "devctl/text/control_ports.h"

#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"
#include "devctl/text/control_servers.h"
#include "devctl/text/dispatcher.h"
#include "devctl/text/greetings.h"
#include "platform/clock.h"

namespace {

constexpr int kRestartPauseMs = 100;

struct PortSettings {
  bool enabled;
  int port;
};

void StartServer(CTcpserver& server, const char* name, PortSettings s, uint32_t mode,
                 void (*on_connect)(int)) {
  if (!s.enabled) return;
  if (s.port < 0 || server.Init(name, static_cast<uint32_t>(s.port), mode) != 0) return;
  server.on_line = TermDispatchLine;
  server.on_connect = on_connect;
  server.on_disconnect = ForgetResetConfirm;
  server.Start();
}

}  // namespace

void StartTcpServerFromConfig() {
  PortSettings s;
  {
    ConfigLock lock;
    s = {g_app_config.tcpportenable != 0, g_app_config.tcpport};
  }
  StartServer(g_tcp_server, "tcpthread", s, CTcpserver::kModeRaw, OnTcpClientConnect);
}

void StartTelnetServerFromConfig() {
  PortSettings s;
  {
    ConfigLock lock;
    s = {g_app_config.telnet_enable != 0, g_app_config.telnetport};
  }
  StartServer(g_telnet_server, "telnetthread", s, CTcpserver::kModeTelnet, OnTelnetClientConnect);
}

void StartUartFromConfig() {
  int baudrate;
  {
    ConfigLock lock;
    baudrate = g_app_config.baudrate;
  }
  g_uart.Init("uartthread");
  g_uart.SetBaudRate(baudrate);
  g_uart.on_line = TermDispatchLine;
  g_uart.on_start = SendUartBannerOnce;
  g_uart.Start();
}

void StartControlPorts() {
  StartTcpServerFromConfig();
  StartTelnetServerFromConfig();
  StartUartFromConfig();
}

void RestartTcpServer() {
  g_tcp_server.Stop();
  platform::SleepMs(kRestartPauseMs);
  StartTcpServerFromConfig();
}

void RestartTelnetServer() {
  g_telnet_server.Stop();
  platform::SleepMs(kRestartPauseMs);
  StartTelnetServerFromConfig();
}

void RestartUart() {
  g_uart.Stop();
  platform::SleepMs(kRestartPauseMs);
  StartUartFromConfig();
}
