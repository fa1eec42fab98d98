// The notices of core and hardware on the real control ports: what each kind of notice reaches
// once the text front end registered itself.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "devctl/core/unit_state.h"
#include "devctl/core/notices.h"
#include "devctl/text/broadcast.h"
#include "devctl/text/control_servers.h"
#include "socket_client.h"
#include "tests/support/sim_unit.h"
#include "tests/support/wait_for.h"

namespace {

class ControlPortNoticesTest : public testsupport::SimUnitFixture {
 protected:
  void SetUp() override {
    SimUnitFixture::SetUp();
    ASSERT_EQ(g_control_servers.tcp.Init("tcpthread", 0, CTcpserver::kModeRaw), 0);
    ASSERT_EQ(g_control_servers.tcp.Start(), 0);
    ASSERT_EQ(g_control_servers.telnet.Init("telnetthread", 0, CTcpserver::kModeTelnet), 0);
    ASSERT_EQ(g_control_servers.telnet.Start(), 0);
    tcp_ = testclient::Connect(g_control_servers.tcp.BoundPort());
    telnet_ = testclient::Connect(g_control_servers.telnet.BoundPort());
    ASSERT_GE(tcp_, 0);
    ASSERT_GE(telnet_, 0);
    ASSERT_TRUE(testsupport::WaitFor(
        [] { return g_control_servers.tcp.ClientCount() >= 1 && g_control_servers.telnet.ClientCount() >= 1; }));

    int slave = -1;
    char name[256];
    ASSERT_EQ(openpty(&uart_peer_, &slave, name, nullptr, nullptr), 0);
    close(slave);
    std::filesystem::create_symlink(name, root_ + "/dev/ttyS6");
    g_control_servers.uart.Init("uartthread");
    g_control_servers.uart.SetDevicePath("/dev/ttyS6");
    g_control_servers.uart.SetStartDelayMs(0);
    ASSERT_EQ(g_control_servers.uart.Start(), 0);
    RegisterControlPortNotices();
  }
  void TearDown() override {
    g_control_servers.uart.Stop();
    g_control_servers.tcp.Stop();
    g_control_servers.telnet.Stop();
    close(tcp_);
    close(telnet_);
    close(uart_peer_);
    SimUnitFixture::TearDown();
  }
  int tcp_ = -1, telnet_ = -1, uart_peer_ = -1;
};

TEST_F(ControlPortNoticesTest, EachKindReachesItsPorts) {
  SendNetworkNotice("network only\r\n");
  ShowSerialBanner();
  SendNotice("everyone\r\n");
  // In order on each port; a port that did not get a notice goes straight to the next one.
  EXPECT_EQ(testclient::ReadUntil(tcp_, "everyone\r\n"), "network only\r\neveryone\r\n");
  EXPECT_EQ(testclient::ReadUntil(telnet_, "everyone\r\n"), "network only\r\neveryone\r\n");
  const std::string uart = testclient::ReadUntil(uart_peer_, "everyone\r\n");
  EXPECT_EQ(uart.find("network only"), std::string::npos) << uart;
  EXPECT_NE(uart.find("Terminal Control System"), std::string::npos) << uart;
  EXPECT_EQ(uart.substr(uart.size() - 17), "VX7206>everyone\r\n");
}

TEST_F(ControlPortNoticesTest, NothingIsSentWithoutASink) {
  ResetNoticeSinks();
  SendNotice("lost\r\n");
  SendNetworkNotice("lost\r\n");
  ShowSerialBanner();
  RegisterControlPortNotices();
  SendNotice("kept\r\n");
  EXPECT_EQ(testclient::ReadUntil(tcp_, "kept\r\n"), "kept\r\n");
}

}  // namespace
