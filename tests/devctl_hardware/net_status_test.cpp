#include <string>

#include <gtest/gtest.h>

#include "devctl/core/identity.h"
#include "devctl/core/net_status.h"
#include "devctl/core/unit_state.h"
#include "platform/command.h"
#include "platform/net_if.h"
#include "tests/support/unit_root.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class NetStatus : public testsupport::UnitRootFixture {
 protected:
  void SetUp() override {
    UnitRootFixture::SetUp();
    platform::SetCommandRunner(&runner_);
    SetDefaultRoute("0100A8C0");  // 192.168.0.1
    platform::ResetSimInterfaces();
    g_unit.net_status = net_addresses_s();
    g_unit.config.dnsserver = "8.8.8.8";
  }
  void TearDown() override {
    platform::ResetSimInterfaces();
    platform::SetCommandRunner(nullptr);
    UnitRootFixture::TearDown();
  }
  // /proc/net/route with a default route through gateway (hex, host order), or none when empty.
  void SetDefaultRoute(const std::string& gateway) {
    std::string table = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n";
    if (!gateway.empty()) table += "eth0\t00000000\t" + gateway + "\t0003\t0\t0\t0\t00000000\n";
    Write("/proc/net/route", table);
  }
  void SetEth0(const std::string& address, bool running) {
    platform::SimInterface eth0;
    platform::GetSimInterface("eth0", &eth0);
    eth0.address = address;
    eth0.running = running;
    platform::SetSimInterface("eth0", eth0);
  }
  platform::RecordingCommandRunner runner_;
};

TEST_F(NetStatus, RefreshTakesAddressesAndTheDnsServer) {
  Write("/etc/resolv.conf", "# generated\n#nameserver 1.1.1.1\nnameserver 9.9.9.9\n");
  RefreshNetworkStatus();
  EXPECT_EQ(g_unit.net_status.ipaddress, "192.168.0.200");
  EXPECT_EQ(g_unit.net_status.subnet, "255.255.255.0");
  EXPECT_EQ(g_unit.net_status.gateway, "192.168.0.1");
  // A commented-out line still names the server, and the first one wins.
  EXPECT_EQ(g_unit.net_status.dnsserver, "1.1.1.1");
  EXPECT_EQ(g_unit.config.dnsserver, "1.1.1.1");
}

TEST_F(NetStatus, MissingResolvConfLeavesTheDnsServer) {
  g_unit.net_status.dnsserver = "4.4.4.4";
  RefreshNetworkStatus();
  EXPECT_EQ(g_unit.net_status.dnsserver, "4.4.4.4");
  EXPECT_EQ(g_unit.config.dnsserver, "8.8.8.8");
}

TEST_F(NetStatus, LinkDownChangesNothingAndAMissingAddressKeepsTheOldOne) {
  RefreshNetworkStatus();
  SetEth0("10.0.0.9", false);
  SetDefaultRoute("");
  RefreshNetworkStatus();
  EXPECT_EQ(g_unit.net_status.ipaddress, "192.168.0.200");
  EXPECT_EQ(g_unit.net_status.gateway, "192.168.0.1");

  SetEth0("", true);
  CaptureStdout();
  RefreshNetworkStatus();
  EXPECT_EQ(GetCapturedStdout(), "SIOCGIFADDR Failed!\n");
  EXPECT_EQ(g_unit.net_status.ipaddress, "192.168.0.200");
  EXPECT_EQ(g_unit.net_status.gateway, "169.254.0.1");
}

TEST_F(NetStatus, FailedLinkQueryCountsAsRunning) {
  platform::RemoveSimInterface("eth0");
  SetDefaultRoute("");
  CaptureStdout();
  RefreshNetworkStatus();
  GetCapturedStdout();
  EXPECT_EQ(g_unit.net_status.ipaddress, "");
  EXPECT_EQ(g_unit.net_status.gateway, "169.254.0.1");
}

TEST_F(NetStatus, VersionFilesFillTheIdentity) {
  g_unit.identity = device_identity_s();
  Write("/usr/local/backend/apps/version", "1.0.7 built today\n");
  ReadMainVersion();
  ReadMcuVersion();
  EXPECT_EQ(g_unit.identity.main_version, "1.0.7");
  EXPECT_EQ(g_unit.identity.mcu_version, "");
  Write("/tmp/mcu_version", "M2.1\n");
  Write("/usr/local/backend/apps/version", "");
  ReadMainVersion();
  ReadMcuVersion();
  EXPECT_EQ(g_unit.identity.main_version, "1.0.7");
  EXPECT_EQ(g_unit.identity.mcu_version, "M2.1");
}

}  // namespace
