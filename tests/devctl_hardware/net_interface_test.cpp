#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/core/net_interface.h"
#include "devctl/core/temperature.h"
#include "platform/command.h"
#include "platform/net_if.h"
#include "platform/sysfs.h"
#include "tests/support/unit_root.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class NetInterface : public testsupport::UnitRootFixture {
 protected:
  void SetUp() override {
    UnitRootFixture::SetUp();
    platform::SetCommandRunner(&runner_);
  }
  void TearDown() override {
    platform::SetCommandRunner(nullptr);
    UnitRootFixture::TearDown();
  }
  platform::RecordingCommandRunner runner_;
};

TEST_F(NetInterface, TemperatureTableBoundsAndMissingReadings) {
  platform::SetSysfs(&platform::FileSysfs());
  struct Case {
    const char* content;  // nullptr: no sensor file
    int degrees;
  } cases[] = {
      {"842\n", -10}, {"841", -9},   {"150", 79},   {"149", 80}, {"0", 80},
      {"99998", -10}, {"99999", 0},  {"-5", 0},     {"abc", 0},  {"", 0},
      {nullptr, 0},   {"400 x", 37}, {"12abc", 80},
  };
  for (const Case& c : cases) {
    const char* file = "/sys/bus/iio/devices/iio:device1/in_voltage0_raw";
    std::remove(platform::Path(file).c_str());
    if (c.content) Write(file, c.content);
    EXPECT_EQ(ReadTemperature(), c.degrees) << (c.content ? c.content : "(no file)");
  }
  platform::SetSysfs(nullptr);
}

TEST_F(NetInterface, TemperatureTableIsMonotonic) {
  for (int raw = 0; raw < 2000; ++raw) {
    EXPECT_GE(TemperatureFromRaw(raw), TemperatureFromRaw(raw + 1)) << raw;
  }
}

// /proc/net/route as the kernel writes it: tab-separated, a header line, addresses as the in_addr
// value in host order (little-endian here: 0100A8C0 is 192.168.0.1), flags 0001 up, 0002 gateway.
const std::string kRouteHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT"
    "                                                       \n";

std::string Route(const char* iface, const char* destination, const char* gateway,
                  const char* flags, const char* metric, const char* mask) {
  return std::string(iface) + "\t" + destination + "\t" + gateway + "\t" + flags + "\t0\t0\t" +
         metric + "\t" + mask + "\t0\t0\t0                                                   \n";
}

TEST_F(NetInterface, GatewayIsTheFirstDefaultRouteOfTheTable) {
  const std::string link = Route("eth0", "0000A8C0", "00000000", "0001", "0", "00FFFFFF");
  struct Case {
    const char* name;
    std::string table;
    const char* gateway;
  } cases[] = {
      {"default route behind the link route",
       kRouteHeader + link + Route("eth0", "00000000", "0100A8C0", "0003", "0", "00000000"),
       "192.168.0.1"},
      {"several interfaces: the first default wins",
       kRouteHeader + Route("enp1s0", "0000000A", "00000000", "0001", "0", "000000FF") +
           Route("enp1s0", "00000000", "01001FAC", "0003", "100", "00000000") +
           Route("eth0", "00000000", "0100000A", "0003", "200", "00000000"),
       "172.31.0.1"},
      {"a default route that is down is passed over",
       kRouteHeader + Route("eth1", "00000000", "FE01A8C0", "0002", "0", "00000000") +
           Route("eth0", "00000000", "0101A8C0", "0003", "0", "00000000"),
       "192.168.1.1"},
      {"half of the addresses is not the default route",
       kRouteHeader + Route("tun0", "00000000", "0100080A", "0003", "0", "00000080") +
           Route("eth0", "00000000", "0200A8C0", "0003", "0", "00000000"),
       "192.168.0.2"},
      {"lower-case digits", kRouteHeader + Route("eth0", "00000000", "fe00a8c0", "0003", "0", "0"),
       "192.168.0.254"},
      {"a default route without a gateway",
       kRouteHeader + Route("eth0", "00000000", "00000000", "0001", "0", "00000000"),
       "169.254.0.1"},
      {"no default route", kRouteHeader + link, "169.254.0.1"},
      {"the header only", kRouteHeader, "169.254.0.1"},
      {"an empty table", "", "169.254.0.1"},
      {"lines that are not routes",
       kRouteHeader + "eth0\t00000000\n" +
           Route("eth0", "00000000", "zz00A8C0", "0003", "0", "00000000") +
           Route("eth0", "00000000", "0100A8C0FF", "0003", "0", "00000000") +
           Route("eth0", "00000000", "0100A8C0", "0003", "0", "0000000000") +
           Route("eth0", "00000000", "0100A8C0", "-3", "0", "00000000"),
       "169.254.0.1"},
  };
  for (const Case& c : cases) {
    Write("/proc/net/route", c.table);
    char out[64] = {};
    EXPECT_EQ(NetGetGateway("eth0", out), 0) << c.name;
    EXPECT_STREQ(out, c.gateway) << c.name;
  }
  // The table is read afresh each time, and no program is started for it.
  EXPECT_EQ(runner_.Commands(), std::vector<std::string>{});
}

TEST_F(NetInterface, OverlongFieldsAreNotRoutes) {
  Write("/proc/net/route", kRouteHeader + "eth0\t00000000\t" + std::string(600, '7') +
                               "\t0003\t0\t0\t0\t00000000\n" + std::string(5000, 'x') + "\n" +
                               Route("eth0", "00000000", "0100000A", "0003", "0", "00000000"));
  char out[64];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(NetGetGateway("eth0", out), 0);
  EXPECT_EQ(std::string(out), "10.0.0.1");
}

TEST_F(NetInterface, RouteTableThatCannotBeReadIsAnError) {
  std::remove(platform::Path("/proc/net/route").c_str());
  char out[64] = "unchanged";
  CaptureStdout();
  EXPECT_EQ(NetGetGateway("eth0", out), -1);
  EXPECT_EQ(GetCapturedStdout(), "route table unreadable\n");
  EXPECT_STREQ(out, "unchanged");
}

TEST_F(NetInterface, LoopbackQueriesReachTheKernel) {
  char ip[64] = {}, mask[64] = {};
  EXPECT_EQ(NetGetLocalIp("lo", ip), 0);
  EXPECT_STREQ(ip, "127.0.0.1");
  EXPECT_EQ(NetGetNetmask("lo", mask), 0);
  EXPECT_STREQ(mask, "255.0.0.0");
  EXPECT_EQ(NetLinkRunning("lo"), 1);
}

TEST_F(NetInterface, UnknownNamesAreRefusedWithTheirMessages) {
  char out[64] = "unchanged";
  CaptureStdout();
  EXPECT_EQ(NetIfIndex("eth3"), -1);
  EXPECT_EQ(NetIfIndex(nullptr), -1);
  EXPECT_EQ(NetGetLocalIp("wlan0", out), -1);
  EXPECT_EQ(GetCapturedStdout(),
            "Not Support Device eth3\npEthName == NULL!\nNot Support Device wlan0\n"
            "pEthName(wlan0) failed!\n");
  EXPECT_STREQ(out, "unchanged");
  EXPECT_EQ(NetIfIndex("lo"), 0);
  EXPECT_EQ(NetIfIndex("enp1s0"), 1);
  EXPECT_EQ(NetIfIndex("eth2"), 2);
}

TEST_F(NetInterface, SimulatedInterfacesAnswerForTheUnit) {
  platform::ResetSimInterfaces();
  char mac[64] = {}, ip[64] = {};
  CaptureStdout();
  EXPECT_EQ(NetGetMac("eth0", mac), 0);
  EXPECT_EQ(GetCapturedStdout(), std::string("local mac:") + mac + " \n");
  EXPECT_TRUE(IsMacAddressText(mac));
  EXPECT_EQ(NetGetLocalIp("eth0", ip), 0);

  platform::SimInterface eth0;
  platform::GetSimInterface("eth0", &eth0);
  eth0.address.clear();
  eth0.running = false;
  platform::SetSimInterface("eth0", eth0);
  CaptureStdout();
  EXPECT_EQ(NetGetLocalIp("eth0", ip), -1);
  EXPECT_EQ(GetCapturedStdout(), "SIOCGIFADDR Failed!\n");
  EXPECT_EQ(NetLinkRunning("eth0"), 0);
  platform::ResetSimInterfaces();
}

TEST_F(NetInterface, NoDescriptorIsKeptOnAnyPath) {
  int before = testsupport::OpenDescriptorCount();
  char out[64];
  CaptureStdout();
  for (int i = 0; i < 1000; ++i) {
    NetGetLocalIp("lo", out);
    NetGetNetmask("lo", out);
    NetGetMac("eth1", out);  // not a simulated interface: the query fails
    NetLinkRunning("nonexistent0");
    NetGetGateway("eth0", out);
  }
  GetCapturedStdout();
  EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
}

TEST_F(NetInterface, MacSetterPutsOnlyCheckedTextIntoCommands) {
  char eth0[] = "eth0";
  char bad_name[] = "eth0;reboot";
  CaptureStdout();
  EXPECT_EQ(NetSetMac(eth0, "02:00:00:00:00:01; reboot"), -1);
  EXPECT_EQ(NetSetMac(bad_name, "02:00:00:00:00:01"), -1);
  GetCapturedStdout();
  EXPECT_TRUE(runner_.Commands().empty());
  EXPECT_EQ(NetSetMac(eth0, "02:00:00:AA:bb:01"), 0);
  EXPECT_EQ(
      runner_.Commands(),
      (std::vector<std::string>{"ifconfig eth0 down", "ifconfig eth0 hw ether 02:00:00:AA:bb:01",
                                "ifconfig eth0 up"}));
}

}  // namespace
