#include "devctl/text/control_ports.h"

#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
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
    s = {g_unit.config.tcpportenable != 0, g_unit.config.tcpport};
  }
  StartServer(g_control_servers.tcp, "tcpthread", s, CTcpserver::kModeRaw, OnTcpClientConnect);
}

void StartTelnetServerFromConfig() {
  PortSettings s;
  {
    ConfigLock lock;
    s = {g_unit.config.telnet_enable != 0, g_unit.config.telnetport};
  }
  StartServer(g_control_servers.telnet, "telnetthread", s, CTcpserver::kModeTelnet, OnTelnetClientConnect);
}

void StartUartFromConfig() {
  int baudrate;
  {
    ConfigLock lock;
    baudrate = g_unit.config.baudrate;
  }
  g_control_servers.uart.Init("uartthread");
  g_control_servers.uart.SetBaudRate(baudrate);
  g_control_servers.uart.on_line = TermDispatchLine;
  g_control_servers.uart.on_start = SendUartBannerOnce;
  g_control_servers.uart.Start();
}

void StartControlPorts() {
  StartTcpServerFromConfig();
  StartTelnetServerFromConfig();
  StartUartFromConfig();
}

void RestartTcpServer() {
  g_control_servers.tcp.Stop();
  platform::SleepMs(kRestartPauseMs);
  StartTcpServerFromConfig();
}

void RestartTelnetServer() {
  g_control_servers.telnet.Stop();
  platform::SleepMs(kRestartPauseMs);
  StartTelnetServerFromConfig();
}

void RestartUart() {
  const int fd = g_control_servers.uart.fd();
  g_control_servers.uart.Stop();
  ForgetResetConfirm(fd);  // the descriptor may go to a network client next
  platform::SleepMs(kRestartPauseMs);
  StartUartFromConfig();
}
