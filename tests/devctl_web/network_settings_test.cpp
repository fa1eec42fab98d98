// The web's network settings and network defaults, on the change functions the handlers call.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/markers.h"
#include "devctl/core/network_changes.h"
#include "devctl/core/pending_network.h"
#include "devctl/core/port_restarts.h"
#include "devctl/core/unit_state.h"
#include "tests/support/sim_unit.h"

namespace {

constexpr char kTemplate[] = "# dhcp template\n";

class NetworkSettingsTest : public testsupport::SimUnitFixture {
 protected:
  void SetUp() override {
    SimUnitFixture::SetUp();
    for (const char* dir : {"/oem", "/etc", "/tmp", "/usr/local/backend/apps"}) {
      std::filesystem::create_directories(platform::Path(dir));
    }
    std::ofstream(platform::Path("/usr/local/backend/apps/dhcpcd.conf")) << kTemplate;
    g_unit.pending = g_unit.config;
    g_unit.net_edit_pending = false;
    g_port_restarts.tcp = false;
    g_port_restarts.telnet = false;
  }
  void TearDown() override {
    g_unit.pending = app_config_s();
    SimUnitFixture::TearDown();
  }
  // The request that repeats every stored value.
  NetworkSettings Current() const {
    NetworkSettings s;
    s.dhcp = g_unit.config.dhcp;
    s.tcpport = g_unit.config.tcpport;
    s.telnetport = g_unit.config.telnetport;
    s.ipaddress = g_unit.config.ipaddress;
    s.subnet = g_unit.config.subnet;
    s.gateway = g_unit.config.gateway;
    s.hostname = g_unit.config.hostname;
    s.model = g_unit.config.model;
    return s;
  }
};

TEST_F(NetworkSettingsTest, RepeatingTheStoredValuesChangesNothing) {
  std::string lines;
  const NetworkSettingsOutcome out = ApplyNetworkSettings(g_unit, Current(), lines);
  EXPECT_FALSE(out.changed || out.address_changed || out.reboot);
  EXPECT_EQ(lines, "");
  EXPECT_FALSE(Exists("/etc/dhcpcd.conf"));
  EXPECT_FALSE(Exists("/etc/hostname"));
}

TEST_F(NetworkSettingsTest, Scenarios) {
  struct Case {
    const char* what;
    void (*edit)(NetworkSettings&);
    const char* lines;
    bool reboot;
    bool dhcpcd_written;
  } cases[] = {
      {"tcp port", [](NetworkSettings& s) { s.tcpport = 9000; },
       "[SUCCESS]Set TCP/IP port:9000.\r\n", false, false},
      {"host name", [](NetworkSettings& s) { s.hostname = "studio-b"; },
       "[SUCCESS]Set DNS domain name to studio-b.\r\n", true, false},
      {"to static with an address",
       [](NetworkSettings& s) {
         s.dhcp = 0;
         s.ipaddress = "10.0.0.5";
       },
       "[SUCCESS]Set IP mode: Static.\r\n[SUCCESS]Set IP address: 10.0.0.5.\r\n", true, true},
      {"address ignored in DHCP mode", [](NetworkSettings& s) { s.ipaddress = "10.0.0.5"; }, "",
       false, false},
      {"model", [](NetworkSettings& s) { s.model = "MX-1"; },
       "[SUCCESS]Set product model name to MX-1.\r\n", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    NetworkSettings s = Current();
    c.edit(s);
    ASSERT_TRUE(IsValidNetworkSettings(g_unit, s));
    std::string lines;
    const NetworkSettingsOutcome out = ApplyNetworkSettings(g_unit, s, lines);
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(out.reboot, c.reboot);
    EXPECT_EQ(Exists("/etc/dhcpcd.conf"), c.dhcpcd_written);
    EXPECT_EQ(g_unit.config.tcpport, s.tcpport);
    EXPECT_EQ(g_unit.pending.tcpport, s.tcpport);
    EXPECT_EQ(g_port_restarts.tcp.load(), s.tcpport == 9000);
    EXPECT_EQ(g_unit.config.model, s.model);
    EXPECT_EQ(g_unit.pending.hostname, s.hostname);
    if (s.hostname != "VX7206") {
      EXPECT_EQ(Read("/etc/hostname"), s.hostname);
    }
    TearDown();
  }
}

TEST_F(NetworkSettingsTest, StaticToDhcpCopiesTheTemplate) {
  g_unit.config.dhcp = 0;
  NetworkSettings s = Current();
  s.dhcp = 1;
  std::string lines;
  EXPECT_TRUE(ApplyNetworkSettings(g_unit, s, lines).reboot);
  EXPECT_EQ(lines, "[SUCCESS]Set IP mode: DHCP.\r\n");
  EXPECT_EQ(Read("/etc/dhcpcd.conf"), kTemplate);
}

TEST_F(NetworkSettingsTest, InvalidRequestsAreRefused) {
  struct Case {
    const char* what;
    void (*edit)(NetworkSettings&);
  } cases[] = {
      {"newline in address", [](NetworkSettings& s) { s.ipaddress = "1.2.3.4\nnohook x"; }},
      {"address out of range", [](NetworkSettings& s) { s.ipaddress = "999.1.1.1"; }},
      {"address with a tail", [](NetworkSettings& s) { s.ipaddress = "1.2.3.4 x"; }},
      {"quote in gateway", [](NetworkSettings& s) { s.gateway = "10.0.0.1\""; }},
      {"empty gateway", [](NetworkSettings& s) { s.gateway = ""; }},
      {"broken mask", [](NetworkSettings& s) { s.subnet = "255.0.255.0"; }},
      {"host name with a blank", [](NetworkSettings& s) { s.hostname = "a b"; }},
      {"host name with a newline", [](NetworkSettings& s) { s.hostname = "a\nb"; }},
      {"host name of 33", [](NetworkSettings& s) { s.hostname = std::string(33, 'h'); }},
      {"empty host name", [](NetworkSettings& s) { s.hostname = ""; }},
      {"model of 32", [](NetworkSettings& s) { s.model = std::string(32, 'm'); }},
      {"model with CR", [](NetworkSettings& s) { s.model = "MX\r"; }},
      {"tcp port 0", [](NetworkSettings& s) { s.tcpport = 0; }},
      {"tcp port 70000", [](NetworkSettings& s) { s.tcpport = 70000; }},
      {"tcp port 80", [](NetworkSettings& s) { s.tcpport = 80; }},
      {"ports equal", [](NetworkSettings& s) { s.tcpport = s.telnetport; }},
  };
  for (const auto& c : cases) {
    NetworkSettings s = Current();
    s.dhcp = 0;
    c.edit(s);
    EXPECT_FALSE(IsValidNetworkSettings(g_unit, s)) << c.what;
  }
  // In DHCP mode the addresses are not used, so they are not checked either.
  NetworkSettings dhcp = Current();
  dhcp.ipaddress = "garbage";
  EXPECT_TRUE(IsValidNetworkSettings(g_unit, dhcp));
}

TEST_F(NetworkSettingsTest, DefaultsResetExactlyTheNetworkSettings) {
  g_unit.config.type = "TRX";
  app_config_s before = g_unit.config;
  g_unit.config.dhcp = 0;
  g_unit.config.ipaddress = "10.0.0.5";
  g_unit.config.subnet = "255.0.0.0";
  g_unit.config.gateway = "10.0.0.1";
  g_unit.config.dnsserver = "10.0.0.2";
  g_unit.config.hostname = "custom";
  g_unit.config.tcpport = 9000;
  g_unit.config.tcpportenable = 0;
  g_unit.config.telnetport = 2323;
  g_unit.config.telnet_enable = 0;
  g_unit.config.model = "MX-1";               // not a network setting
  g_unit.config.analogue_input_gain[0] = 5;   // nor this
  g_unit.config.user[1].password = "secret";  // nor this
  std::string lines;
  EXPECT_EQ(ResetNetworkToDefaults(g_unit, lines), RebootOutcome::kRebooting);
  RunRebootAfterReply();  // as the frame does once the reply is out
  EXPECT_EQ(lines,
            "[SUCCESS]Doing network reset, the network will restart, please wait for about 60 "
            "seconds.\r\n");
  app_config_s expected = before;
  expected.model = "MX-1";
  expected.analogue_input_gain[0] = 5;
  expected.user[1].password = "secret";
  app_config_s saved;
  std::string path;
  LoadAppConfigFile(path, kConfigFile, &saved, "", "TRX");
  for (const app_config_s* c : {&g_unit.config, &saved}) {
    std::string got, want;
    ASSERT_TRUE(PrintAppConfig(c, &got));
    ASSERT_TRUE(PrintAppConfig(&expected, &want));
    // Member by member: the first differing line of the two documents.
    std::istringstream g(got), w(want);
    std::string gl, wl;
    int line = 0;
    while (std::getline(w, wl)) {
      ++line;
      std::getline(g, gl);
      if (gl != wl) {
        ADD_FAILURE() << "line " << line << ": " << gl << " want " << wl;
        break;
      }
    }
  }
  EXPECT_EQ(Read("/etc/dhcpcd.conf"), kTemplate);
  EXPECT_EQ(Read("/etc/hostname"), "VX7206");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
}

TEST_F(NetworkSettingsTest, PanelModeChangeWritesTheFileFirst) {
  std::string lines;
  EXPECT_FALSE(ChangeDhcpMode(g_unit, 1, lines));  // already DHCP
  g_unit.pending.ipaddress = "not an address";
  EXPECT_FALSE(ChangeDhcpMode(g_unit, 0, lines));  // no static file can be made: nothing changes
  EXPECT_EQ(g_unit.config.dhcp, 1);
  EXPECT_EQ(lines, "");
  g_unit.pending.ipaddress = "10.0.0.7";
  EXPECT_TRUE(ChangeDhcpMode(g_unit, 0, lines));
  EXPECT_EQ(lines, "[SUCCESS]Set IP mode: Static.\r\n");
  EXPECT_EQ(g_unit.config.dhcp, 0);
  EXPECT_NE(Read("/etc/dhcpcd.conf").find("static ip_address=10.0.0.7/24"), std::string::npos);
}

}  // namespace
