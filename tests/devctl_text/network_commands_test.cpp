#include "devctl/core/markers.h"
#include "devctl/text/network_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "devctl/core/config_file.h"
#include "devctl/core/network_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/dispatcher.h"
#include "platform/storage.h"
#include "tests/support/text_commands.h"

namespace {

const std::string kHint =
    ", (Please use \"NET RB\" command or re-power device to apply new config!)\r\n";
constexpr char kTemplate[] = "# dhcp template\ninterface eth0\n";

class NetworkCommandsTest : public testsupport::TextCommandFixture {
 protected:
  void SetUp() override {
    TextCommandFixture::SetUp();
    for (const char* dir : {"/oem", "/etc", "/tmp", "/usr/local/backend/apps"}) {
      std::filesystem::create_directories(platform::Path(dir));
    }
    Write("/usr/local/backend/apps/dhcpcd.conf", kTemplate);
    ClearResetConfirms();
    g_unit.net_edit_pending = false;
    SaveAppConfig(g_unit.config_path, &g_unit.config);
  }
  void TearDown() override {
    ClearResetConfirms();
    g_unit.net_edit_pending = false;
    g_unit.pending = app_config_s();
    TextCommandFixture::TearDown();
  }
};

TEST_F(NetworkCommandsTest, AddressValidation) {
  Run("NET DHCP OFF");
  struct Case {
    const char* line;
    const char* reply;
  } cases[] = {
      {"NET IP 192.168.1.300",
       "[ERROR]IP address param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET IP 10.0.0",
       "[ERROR]IP address param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET IP -2147483648.-2147483648.-2147483648.-2147483648",
       "[ERROR]IP address param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET IP 99999999999.1.1.1",
       "[ERROR]IP address param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET GW 1.2.3", "[ERROR]Gateway param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET SM 255.255.255.255",
       "[ERROR]Subnet mask param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET SM 255.0.255.0",
       "[ERROR]Subnet mask param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET SM 0.0.0.0",
       "[ERROR]Subnet mask param out of range. Type \"HELP\" for more reference.\r\n"},
      // Addresses no unit can have or route through.
      {"NET IP 0.0.0.0",
       "[ERROR]IP address param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET IP 255.255.255.255",
       "[ERROR]IP address param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET IP 127.0.0.1",
       "[ERROR]IP address param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET IP 224.0.0.5",
       "[ERROR]IP address param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET IP 240.1.2.3",
       "[ERROR]IP address param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET GW 0.0.0.0",
       "[ERROR]Gateway param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET GW 239.255.255.250",
       "[ERROR]Gateway param out of range. Type \"HELP\" for more reference.\r\n"},
      {"NET GW 127.1.1.1",
       "[ERROR]Gateway param out of range. Type \"HELP\" for more reference.\r\n"},
  };
  const std::string conf = Read("/etc/dhcpcd.conf");
  const std::string file = Read("/oem/app.json");
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.line), c.reply) << c.line;
    EXPECT_EQ(Read("/etc/dhcpcd.conf"), conf) << c.line;
  }
  EXPECT_EQ(Read("/oem/app.json"), file);
  // Leading zeros are numbers: the address is stored as the unit formats it.
  EXPECT_EQ(Run("NET IP 010.0.0.5"), "[SUCCESS]Set IP address: 10.0.0.5" + kHint);
  EXPECT_EQ(Run("NET SM 255.255.240.0"), "[SUCCESS]Set subnet mask:255.255.240.0" + kHint);
  EXPECT_EQ(g_unit.pending.ipaddress, "10.0.0.5");
}

TEST_F(NetworkCommandsTest, DhcpModeRefusesStaticAddresses) {
  EXPECT_EQ(Run("NET DHCP ON"),
            "[SUCCESS]Set IP mode: DHCP (Please use \"NET RB\" command or re-power device to apply "
            "new config!)\r\n");
  EXPECT_EQ(Read("/etc/dhcpcd.conf"), kTemplate);
  EXPECT_EQ(Run("NET IP 10.0.0.5"),
            "[ERROR]The system is in DHCP mode, please disable DHCP first before setting a STATIC "
            "IP address.\r\n");
  EXPECT_EQ(Run("NET GW 10.0.0.1"),
            "[ERROR]The system is in DHCP mode, please disable DHCP first before setting the "
            "GATEWAY.\r\n");
  EXPECT_EQ(Run("NET SM 255.255.255.0"),
            "[ERROR]The system is in DHCP mode, please disable DHCP first before setting the "
            "SUBNET MASK.\r\n");
  EXPECT_EQ(g_unit.pending.ipaddress, "192.168.0.200");
}

TEST_F(NetworkCommandsTest, StaticEditIsSavedAndAppliedByNetRb) {
  EXPECT_EQ(Run("NET DHCP OFF"),
            "[SUCCESS]Set IP mode: Static (Please use \"NET RB\" command or re-power device to "
            "apply new config!)\r\n");
  EXPECT_EQ(Run("NET IP 10.0.0.5"), "[SUCCESS]Set IP address: 10.0.0.5" + kHint);
  EXPECT_EQ(Run("NET SM 255.255.255.0"), "[SUCCESS]Set subnet mask:255.255.255.0" + kHint);
  EXPECT_EQ(Run("NET GW 10.0.0.1"), "[SUCCESS]Set gateway:10.0.0.1" + kHint);
  const std::string conf = Read("/etc/dhcpcd.conf");
  EXPECT_NE(conf.find("static ip_address=10.0.0.5/24\n"), std::string::npos) << conf;
  EXPECT_NE(conf.find("static routers=10.0.0.1\n"), std::string::npos) << conf;
  // The live record keeps the running addresses until the reboot.
  EXPECT_EQ(g_unit.config.ipaddress, "192.168.0.200");
  EXPECT_EQ(Run("NET RB"), "[SUCCESS]Set network reboot and apply new config.\r\n");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
  const app_config_s saved = Saved();
  EXPECT_EQ(saved.dhcp, 0);
  EXPECT_EQ(saved.ipaddress, "10.0.0.5");
  EXPECT_EQ(saved.subnet, "255.255.255.0");
  EXPECT_EQ(saved.gateway, "10.0.0.1");
}

TEST_F(NetworkCommandsTest, HostNameIsCheckedBeforeAnyFile) {
  Write("/etc/hostname", "before");
  const std::string error =
      "[ERROR]DNS domain name param out of range. Type \"HELP\" for more reference.\r\n";
  for (std::string line :
       {std::string("NET DNS ") + std::string(33, 'a'), std::string("NET DNS a/b"),
        std::string("NET DNS a_b"), std::string("NET DNS caf\xc3\xa9"), std::string("NET DNS"),
        std::string("NET DNS a\x01"
                    "b"),
        std::string("NET DNS -studio"), std::string("NET DNS studio-")}) {
    EXPECT_EQ(Run(line), error) << line;
    EXPECT_EQ(Read("/etc/hostname"), "before");
  }
  EXPECT_EQ(Run("NET DNS studio-2"), "[SUCCESS]Set DNS domain name: STUDIO-2" + kHint);
  EXPECT_EQ(Read("/etc/hostname"), "STUDIO-2");
  EXPECT_EQ(Read("/tmp/hostname"), "1");
  EXPECT_EQ(Saved().hostname, "STUDIO-2");
  EXPECT_EQ(Run("NET DNS " + std::string(32, 'b')).substr(0, 9), "[SUCCESS]");
}

TEST_F(NetworkCommandsTest, EditIsSavedMergedWithLiveChanges) {
  Run("NET DHCP OFF");
  Run("NET IP 10.0.0.5");
  // A change made meanwhile through the live record (web or panel) and saved.
  g_unit.config.analogue_input_gain[1] = 7;
  SaveAppConfig(g_unit.config_path, &g_unit.config);
  EXPECT_EQ(Saved().ipaddress, "10.0.0.5");
  Run("NET RB");
  const app_config_s saved = Saved();
  EXPECT_EQ(saved.ipaddress, "10.0.0.5");
  EXPECT_EQ(saved.analogue_input_gain[1], 7);
}

TEST_F(NetworkCommandsTest, NetRbInStandbyKeepsTheEdit) {
  g_unit.config.power = 0;
  SaveAppConfig(g_unit.config_path, &g_unit.config);
  Framed("NET DHCP OFF");  // wakes the unit: the power-on notice comes ahead of the reply
  Run("NET IP 10.0.0.9");
  EXPECT_EQ(Run("NET RB"), "[SUCCESS]Set network reboot and apply new config.\r\n");
  const app_config_s saved = Saved();
  EXPECT_EQ(saved.ipaddress, "10.0.0.9");
  EXPECT_EQ(saved.dhcp, 0);
  EXPECT_EQ(saved.power, 1);
}

TEST_F(NetworkCommandsTest, OtherCommandDropsTheEdit) {
  Run("NET DHCP OFF");
  Run("NET IP 10.0.0.5");
  Run("IN 1 GAIN 3");
  const app_config_s saved = Saved();
  EXPECT_EQ(saved.ipaddress, "192.168.0.200");
  EXPECT_EQ(saved.dhcp, 1);
  EXPECT_EQ(saved.analogue_input_gain[0], 3);
  EXPECT_EQ(Read("/etc/dhcpcd.conf"), kTemplate);
}

// An IPv6 name server (the first one in resolv.conf, with or without a zone) goes into the static
// configuration as it is: every step of a static edit reaches dhcpcd.conf.
TEST_F(NetworkCommandsTest, StaticEditWithAnIpv6NameServer) {
  for (const char* dns : {"2001:db8::53", "fe80::1%eth0"}) {
    SCOPED_TRACE(dns);
    Write("/etc/resolv.conf", std::string("nameserver ") + dns + "\nnameserver 10.0.0.53\n");
    Run("STATUS");  // takes the running name server into the record
    Run("IN 1 GAIN 2");
    EXPECT_EQ(Saved().dnsserver, dns);
    EXPECT_EQ(Run("NET DHCP OFF").substr(0, 9), "[SUCCESS]");
    EXPECT_NE(
        Read("/etc/dhcpcd.conf").find(std::string("static domain_name_servers=") + dns + "\n"),
        std::string::npos);
    const struct {
      const char* line;
      const char* expected;
    } steps[] = {{"NET IP 10.9.9.9", "static ip_address=10.9.9.9/24\n"},
                 {"NET SM 255.255.0.0", "static ip_address=10.9.9.9/16\n"},
                 {"NET GW 10.9.9.1", "static routers=10.9.9.1\n"}};
    for (const auto& step : steps) {
      EXPECT_EQ(Run(step.line).substr(0, 9), "[SUCCESS]") << step.line;
      EXPECT_NE(Read("/etc/dhcpcd.conf").find(step.expected), std::string::npos) << step.line;
    }
    Run("IN 1 GAIN 0");  // closes the edit: the live (DHCP) settings go back
    EXPECT_EQ(Read("/etc/dhcpcd.conf"), kTemplate);
  }
}

// Once NET RB asked for the reboot, the edit is what the next start loads: a command from any
// port afterwards keeps it in app.json and dhcpcd.conf.
TEST_F(NetworkCommandsTest, EditSurvivesCommandsAfterNetRb) {
  Run("NET DHCP OFF");
  Run("NET IP 10.0.0.77");
  EXPECT_EQ(Run("NET RB"), "[SUCCESS]Set network reboot and apply new config.\r\n");
  const std::string conf = Read("/etc/dhcpcd.conf");
  EXPECT_EQ(Run("IN 2 GAIN 4", 7), "[SUCCESS]Set analogue input CH2 gain to 4dB.\r\n");
  const app_config_s saved = Saved();
  EXPECT_EQ(saved.ipaddress, "10.0.0.77");
  EXPECT_EQ(saved.dhcp, 0);
  EXPECT_EQ(saved.analogue_input_gain[1], 4);
  EXPECT_EQ(Read("/etc/dhcpcd.conf"), conf);
}

// The system reset keeps the network as it stands: after NET RB that is the confirmed edit, which
// the file, dhcpcd.conf and the host name keep together through the reset and after it.
TEST_F(NetworkCommandsTest, SystemResetAfterNetRbKeepsTheEdit) {
  Run("NET DHCP OFF");
  Run("NET IP 10.0.0.77");
  Run("NET DNS studio");
  EXPECT_EQ(Run("NET RB"), "[SUCCESS]Set network reboot and apply new config.\r\n");
  const std::string conf = Read("/etc/dhcpcd.conf"), host = Read("/etc/hostname");
  const std::string edited_name = g_unit.pending.hostname;
  ASSERT_NE(edited_name, g_unit.config.hostname);
  g_unit.config.analogue_input_gain[0] = 9;
  EXPECT_EQ(Run("RESET").substr(0, 13), "Sure to reset");
  EXPECT_EQ(Run("YES"), "[SUCCESS]System reset, please wait a moment...\r\n");
  app_config_s saved = Saved();
  EXPECT_EQ(saved.analogue_input_gain[0], 0);
  EXPECT_EQ(saved.dhcp, 0);
  EXPECT_EQ(saved.ipaddress, "10.0.0.77");
  EXPECT_EQ(saved.hostname, edited_name);
  EXPECT_EQ(Read("/etc/dhcpcd.conf"), conf);
  EXPECT_EQ(Read("/etc/hostname"), host);
  // A later save of the live record keeps it too.
  Run("IN 2 GAIN 4");
  saved = Saved();
  EXPECT_EQ(saved.ipaddress, "10.0.0.77");
  EXPECT_EQ(saved.dhcp, 0);
  EXPECT_EQ(saved.hostname, edited_name);
}

// After RESET ALL the file holds what the next start must load: a NET command writes nothing and
// says the settings were not saved.
TEST_F(NetworkCommandsTest, NothingIsWrittenWhileSavesAreFrozen) {
  Run("RESET ALL");
  EXPECT_EQ(Run("YES"), "[SUCCESS]System reset all, please wait a moment...\r\n");
  const std::string file = Read("/oem/app.json"), conf = Read("/etc/dhcpcd.conf"),
                    host = Read("/etc/hostname");
  for (const char* line : {"NET DHCP OFF", "NET DNS studio", "NET DHCP ON", "IN 1 GAIN 3"}) {
    const std::string reply = Run(line);
    if (std::string(line).compare(0, 3, "NET") == 0) {
      EXPECT_EQ(reply, "[ERROR]Settings could not be saved.\r\n") << line;
    }
    EXPECT_EQ(Read("/oem/app.json"), file) << line;
    EXPECT_EQ(Read("/etc/dhcpcd.conf"), conf) << line;
    EXPECT_EQ(Read("/etc/hostname"), host) << line;
  }
  UnfreezeConfigSaves();
}

// A NET command whose save fails takes its change back and writes no system file.
TEST_F(NetworkCommandsTest, FailedSaveTakesTheEditBack) {
  Run("NET DHCP OFF");
  const std::string conf = Read("/etc/dhcpcd.conf");
  platform::FailWritesUnder(platform::Path("/oem"));
  EXPECT_EQ(Run("NET IP 10.0.0.5"), "[ERROR]Settings could not be saved.\r\n");
  EXPECT_EQ(g_unit.pending.ipaddress, "192.168.0.200");
  EXPECT_EQ(Read("/etc/dhcpcd.conf"), conf);
  EXPECT_EQ(Run("NET DNS studio"), "[ERROR]Settings could not be saved.\r\n");
  EXPECT_NE(Read("/etc/hostname"), "STUDIO");
  platform::FailWritesUnder("");
}

}  // namespace
