#include "devctl/text/control_ports.h"

#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/control_servers.h"
#include "devctl/text/dispatcher.h"
#include "devctl/text/greetings.h"
#include "platform/clock.h"

namespace {

constexpr int kRestartPauseMs = 100;

// Every start of a network server happens under the configuration lock: the settings are read
// and the server set up in one hold, so a command that finds a server stopped (and no restart
// pending) and starts it never meets another start of it. A server the record has off lets its
// listening sockets go.
void StartServer(CTcpserver& server, const char* name, bool enabled, int port, uint32_t mode,
                 void (*on_connect)(int)) {
  if (!enabled) {
    server.CloseListeners();
    return;
  }
  if (port < 0 || server.Init(name, static_cast<uint32_t>(port), mode) != 0) return;
  server.on_line = TermDispatchLine;
  server.on_connect = on_connect;
  server.on_disconnect = ForgetResetConfirm;
  server.Start();
}

// What a command asks before it answers that a server is on at port (ListenNow), under the
// configuration lock. While a restart is pending the service loop may be stopping the server
// outside the lock: the socket held here is what that restart starts it on. Without one, nothing
// else starts or stops the server meanwhile, so one the record has on there starts now.
bool ListenForCommand(ControlServer which, int port) {
  const bool telnet = which == ControlServer::kTelnet;
  CTcpserver& server = telnet ? g_control_servers.telnet : g_control_servers.tcp;
  if (port < 0 || port > 65535 || !server.HoldPort(static_cast<uint16_t>(port))) return false;
  const bool restart_pending = telnet ? g_port_restarts.telnet : g_port_restarts.tcp;
  const bool on = telnet ? g_unit.config.telnet_enable != 0 : g_unit.config.tcpportenable != 0;
  const int record_port = telnet ? g_unit.config.telnetport : g_unit.config.tcpport;
  if (!restart_pending && on && record_port == port && !server.running()) {
    telnet ? StartTelnetServerFromConfig() : StartTcpServerFromConfig();
    return server.running();
  }
  return true;
}

// After each command: a socket held for a server's next start stays only while the record has the
// server on at its port (a refused or unsaved change stored nothing that wants it).
void ReleaseUnwantedSpares() {
  const app_config_s& record = g_unit.config;
  g_control_servers.tcp.ReleaseSpare(record.tcpportenable != 0 ? record.tcpport : -1);
  g_control_servers.telnet.ReleaseSpare(record.telnet_enable != 0 ? record.telnetport : -1);
}

// The commands reach the servers through these once the first server is set up.
void ServeCommands() {
  if (g_port_restarts.listener) return;
  g_port_restarts.listener = ListenForCommand;
  g_port_restarts.release_unwanted = ReleaseUnwantedSpares;
}

}  // namespace

void StartTcpServerFromConfig() {
  ConfigReadLock lock;
  ServeCommands();
  StartServer(g_control_servers.tcp, "tcpthread", g_unit.config.tcpportenable != 0,
              g_unit.config.tcpport, CTcpserver::kModeRaw, OnTcpClientConnect);
}

void StartTelnetServerFromConfig() {
  ConfigReadLock lock;
  ServeCommands();
  StartServer(g_control_servers.telnet, "telnetthread", g_unit.config.telnet_enable != 0,
              g_unit.config.telnetport, CTcpserver::kModeTelnet, OnTelnetClientConnect);
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

// The restart is pending until the server is set up again. The old listening socket stays open
// through the pause (Stop waits for the server's thread, which finishes what its clients sent
// first): a server that stays on at its port listens again on the same socket, and no other
// program can take the port in between. The flag is cleared in the same hold of the lock that
// reads the settings, so a request made meanwhile either is in those settings or restarts the
// server once more.
void RestartTcpServer() {
  g_control_servers.tcp.StopKeepingListener();
  platform::SleepMs(kRestartPauseMs);
  ConfigReadLock lock;
  StartTcpServerFromConfig();
  g_port_restarts.tcp = false;
}

void RestartTelnetServer() {
  g_control_servers.telnet.StopKeepingListener();
  platform::SleepMs(kRestartPauseMs);
  ConfigReadLock lock;
  StartTelnetServerFromConfig();
  g_port_restarts.telnet = false;
}

void RestartUart() {
  const int fd = g_control_servers.uart.fd();
  g_control_servers.uart.Stop();
  ForgetResetConfirm(fd);  // the descriptor may go to a network client next
  platform::SleepMs(kRestartPauseMs);
  StartUartFromConfig();
}
