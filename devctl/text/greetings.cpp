#include "devctl/text/greetings.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/control_servers.h"
#include "platform/state_resets.h"

namespace {

// 1 once the RS-232 port has shown its banner in this run.
std::atomic<uint32_t> g_uart_banner_sent{0};
const platform::StateReset kReset([] { g_uart_banner_sent = 0; });
// IAC WILL SUPPRESS-GO-AHEAD, IAC WILL ECHO (this server echoes, so the client must not),
// IAC DONT ECHO, IAC DONT BINARY.
constexpr unsigned char kTelnetOpening[12] = {0xFF, 0xFB, 0x03, 0xFF, 0xFB, 0x01,
                                              0xFF, 0xFE, 0x01, 0xFF, 0xFE, 0x00};
constexpr size_t kBannerSize = 256;
}  // namespace

std::string FormatBanner() {
  std::string model, version;
  {
    ConfigLock lock;
    model = g_unit.config.model;
    version = g_unit.identity.main_version;
  }
  char banner[kBannerSize];
  const int n = std::snprintf(
      banner, sizeof banner,
      "\r\n================================= \r\n%s Terminal Control System\r\nFW Version : "
      "%s\r\nType \"HELP\" For More Information\r\n================================= "
      "\r\n\r\n%s>",
      model.c_str(), version.c_str(), model.c_str());
  if (n < 0) return std::string();
  return std::string(banner, std::min(static_cast<size_t>(n), kBannerSize - 1));
}

void OnTelnetClientConnect(int fd) {
  g_control_servers.telnet.SendTo(fd, kTelnetOpening, sizeof kTelnetOpening);
  const std::string banner = FormatBanner();
  g_control_servers.telnet.SendAll(banner.data(), static_cast<int>(banner.size()));
}

void OnTcpClientConnect(int) {}

void SendUartBanner() {
  const std::string banner = FormatBanner();
  g_control_servers.uart.Write(banner.data(), static_cast<int>(banner.size()));
}

void SendUartBannerOnce() {
  if (g_uart_banner_sent.exchange(1) != 0) return;
  SendUartBanner();
}
