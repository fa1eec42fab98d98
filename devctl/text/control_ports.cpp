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
// pending) and starts it never meets another start of it.
void StartServer(CTcpserver& server, const char* name, bool enabled, int port, uint32_t mode,
                 void (*on_connect)(int)) {
  if (!enabled) return;
  if (port < 0 || server.Init(name, static_cast<uint32_t>(port), mode) != 0) return;
  server.on_line = TermDispatchLine;
  server.on_connect = on_connect;
  server.on_disconnect = ForgetResetConfirm;
  server.Start();
}

// The start a command asks for when a server that is on does not listen.
bool StartIfNotListening(ControlServer which) {
  CTcpserver& server =
      which == ControlServer::kTelnet ? g_control_servers.telnet : g_control_servers.tcp;
  if (!server.running()) {
    which == ControlServer::kTelnet ? StartTelnetServerFromConfig() : StartTcpServerFromConfig();
  }
  return server.running();
}

}  // namespace

void StartTcpServerFromConfig() {
  ConfigReadLock lock;
  g_port_restarts.starter = StartIfNotListening;  // the record is left alone
  StartServer(g_control_servers.tcp, "tcpthread", g_unit.config.tcpportenable != 0,
              g_unit.config.tcpport, CTcpserver::kModeRaw, OnTcpClientConnect);
}

void StartTelnetServerFromConfig() {
  ConfigReadLock lock;
  g_port_restarts.starter = StartIfNotListening;
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

// The restart is pending until the server is set up again: until then its old socket may still
// hold the port (Stop waits for the server's thread, which finishes what its clients sent first).
// The flag is cleared in the same hold of the lock that reads the settings, so a request made
// meanwhile either is in those settings or restarts the server once more.
void RestartTcpServer() {
  g_control_servers.tcp.Stop();
  platform::SleepMs(kRestartPauseMs);
  ConfigReadLock lock;
  StartTcpServerFromConfig();
  g_port_restarts.tcp = false;
}

void RestartTelnetServer() {
  g_control_servers.telnet.Stop();
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
