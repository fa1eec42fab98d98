#include "devctl/text/device_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/factory_reset.h"
#include "devctl/core/markers.h"
#include "devctl/core/reset_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_panel_shutdown.h"
#include "devctl/devices/gpio.h"
#include "devctl/text/dispatcher.h"
#include "platform/sim_sysfs.h"
#include "platform/storage.h"
#include "tests/support/text_commands.h"

namespace {

const std::string kHint =
    ", (Please use \"NET RB\" command or re-power device to apply new config!)\r\n";

class DeviceCommandsTest : public testsupport::TextCommandFixture {
 protected:
  void SetUp() override {
    TextCommandFixture::SetUp();
    for (const char* dir : {"/oem", "/etc", "/tmp", "/usr/local/backend/apps",
                            "/usr/local/netaudio/tarvo_package/tarvo_data/config/keep"}) {
      std::filesystem::create_directories(platform::Path(dir));
    }
    std::ofstream(platform::Path("/usr/local/backend/apps/dhcpcd.conf")) << "# template\n";
    ClearResetConfirms();
    g_unit.net_edit_pending = false;
    g_unit.identity = device_identity_s();
    SaveAppConfig(g_unit.config_path, &g_unit.config);
  }
  void TearDown() override {
    ClearResetConfirms();
    g_unit.net_edit_pending = false;
    g_unit.identity = device_identity_s();
    TextCommandFixture::TearDown();
  }
};

TEST_F(DeviceCommandsTest, ResetKeepsAccountsAndNetwork) {
  g_unit.config.analogue_input_gain[0] = 9;
  g_unit.config.ipaddress = "10.9.9.9";
  g_unit.config.user[1].password = "kept";
  EXPECT_EQ(Run("RESET").substr(0, 13), "Sure to reset");
  EXPECT_EQ(Run("yes"), "[SUCCESS]System reset, please wait a moment...\r\n");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
  const app_config_s saved = Saved();
  EXPECT_EQ(saved.analogue_input_gain[0], 0);
  EXPECT_EQ(saved.ipaddress, "10.9.9.9");
  EXPECT_EQ(saved.user[1].password, "kept");
}

TEST_F(DeviceCommandsTest, ResetAllRestoresEverything) {
  g_unit.config.ipaddress = "10.9.9.9";
  g_unit.config.hostname = "custom";
  g_unit.config.type = "RX";
  std::ofstream(platform::Path("/usr/local/netaudio/tarvo_package/tarvo_data/config/a.json"))
      << "{}";
  EXPECT_EQ(Run("RESET ALL").substr(0, 13), "Sure to reset");
  EXPECT_EQ(Run("YES"), "[SUCCESS]System reset all, please wait a moment...\r\n");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
  EXPECT_EQ(Read("/etc/dhcpcd.conf"), "# template\n");
  EXPECT_EQ(Read("/etc/hostname"), "VX7206");
  EXPECT_EQ(g_unit.config.type, "TRX");
  EXPECT_EQ(Saved().ipaddress, "192.168.0.200");
  EXPECT_FALSE(std::filesystem::exists(
      platform::Path("/usr/local/netaudio/tarvo_package/tarvo_data/config/a.json")));
  EXPECT_TRUE(std::filesystem::exists(
      platform::Path("/usr/local/netaudio/tarvo_package/tarvo_data/config/keep")));
}

TEST_F(DeviceCommandsTest, PanelResetAllDropsAnOpenNetworkEdit) {
  Run("NET DHCP OFF");
  Run("NET IP 10.0.0.5");
  ASSERT_TRUE(g_unit.net_edit_pending);
  {
    ConfigLock lock;
    ResetAllSettings(g_unit);  // as the reset key and the panel's factory-reset page make it
  }
  EXPECT_FALSE(g_unit.net_edit_pending);
  const app_config_s saved = Saved();
  EXPECT_EQ(saved.dhcp, 1);
  EXPECT_EQ(saved.ipaddress, "192.168.0.200");
}

TEST_F(DeviceCommandsTest, ConfirmationBelongsToTheAskingPort) {
  Run("RESET", 4);
  // A YES from another port is an ordinary (unknown) command there and resets nothing.
  EXPECT_EQ(Run("YES", 5), "[ERROR]Command not found.\r\n");
  EXPECT_FALSE(std::filesystem::exists(platform::Path("/tmp/reboot")));
  ASSERT_NE(PendingConfirmation(4), nullptr);
  EXPECT_EQ(PendingConfirmation(4)->handler, TermResetSystem);
  EXPECT_EQ(Run("NO", 4), "[SUCCESS]RESET process ignored.\r\n");
  EXPECT_FALSE(std::filesystem::exists(platform::Path("/tmp/reboot")));
}

TEST_F(DeviceCommandsTest, StandbyRebootWakesFirstAndStatusNever) {
  g_unit.config.power = 0;
  std::string status = "STATUS";
  const std::string report = DispatchLine(4, status.data(), 6);
  EXPECT_EQ(report.substr(0, 4), "\r\n\r\n");
  EXPECT_EQ(g_unit.config.power, 0);  // a status query never wakes the unit
  std::string reboot = "REBOOT";
  EXPECT_EQ(DispatchLine(4, reboot.data(), 6),
            "[SUCCESS]Set system power on, please wait a moment...\r\n"
            "\r\n[SUCCESS]System reboot, please wait a moment...\r\nVX7206>");
  RunRebootAfterReply();
  EXPECT_EQ(Saved().power, 1);
  EXPECT_EQ(Read("/tmp/reboot"), "1");
}

TEST_F(DeviceCommandsTest, RebootSavesThenAsks) {
  EXPECT_EQ(Run("REBOOT"), "[SUCCESS]System reboot, please wait a moment...\r\n");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
}

// The reply goes out first: the marker appears only once the frame has handed the reply on.
TEST_F(DeviceCommandsTest, RebootMarkerFollowsTheReply) {
  for (const char* line : {"REBOOT", "NET RB"}) {
    std::filesystem::remove(platform::Path("/tmp/reboot"));
    std::string text = line;
    const std::string reply = DispatchLine(4, text.data(), static_cast<int>(text.size()));
    EXPECT_NE(reply.find("[SUCCESS]"), std::string::npos) << line;
    EXPECT_FALSE(std::filesystem::exists(platform::Path("/tmp/reboot"))) << line;
    RunRebootAfterReply();
    EXPECT_EQ(Read("/tmp/reboot"), "1") << line;
  }
}

// With /tmp full the marker cannot be written: every reboot command says so, changes nothing and
// leaves the unit playing with its panel lit.
TEST_F(DeviceCommandsTest, RebootThatCannotBeRequestedIsAFailure) {
  g_unit.config.analogue_input_gain[0] = 5;
  SaveAppConfig(g_unit.config_path, &g_unit.config);
  GpioOpen(kGpioAudioMute);
  GpioSetOut(kGpioAudioMute);
  SetAudioMuteGpio(0);
  platform::FailWritesUnder(platform::Path("/tmp"));
  const std::string file = Read("/oem/app.json");
  struct Case {
    const char* first;  // a confirmation question first, or nullptr
    const char* line;
  } cases[] = {{nullptr, "REBOOT"}, {nullptr, "NET RB"}, {"RESET", "YES"}, {"RESET ALL", "YES"}};
  for (const auto& c : cases) {
    if (c.first) Run(c.first);
    EXPECT_EQ(Run(c.line), "[ERROR]Reboot could not be requested.\r\n") << c.line;
    EXPECT_FALSE(std::filesystem::exists(platform::Path("/tmp/reboot"))) << c.line;
    EXPECT_EQ(platform::sim_sysfs().Level(kGpioAudioMute), 0) << c.line;
    EXPECT_FALSE(PanelThreadStopRequested()) << c.line;
    EXPECT_EQ(Read("/oem/app.json"), file) << c.line;
    EXPECT_EQ(g_unit.config.analogue_input_gain[0], 5) << c.line;
  }
}

// A reset whose save fails changes nothing: no file, no live setting, no reboot.
TEST_F(DeviceCommandsTest, ResetThatCannotBeSavedChangesNothing) {
  g_unit.config.analogue_input_gain[0] = 5;
  SaveAppConfig(g_unit.config_path, &g_unit.config);
  std::filesystem::create_directories(
      platform::Path("/usr/local/netaudio/tarvo_package/tarvo_data/config"));
  Write("/usr/local/netaudio/tarvo_package/tarvo_data/config/a.json", "{}");
  Write("/etc/dhcpcd.conf", "static\n");
  platform::FailWritesUnder(platform::Path("/oem"));
  for (const char* question : {"RESET", "RESET ALL"}) {
    Run(question);
    EXPECT_EQ(Run("YES"), "[ERROR]Settings could not be saved.\r\n") << question;
    EXPECT_EQ(g_unit.config.analogue_input_gain[0], 5) << question;
    EXPECT_EQ(Saved().analogue_input_gain[0], 5) << question;
    EXPECT_EQ(Read("/etc/dhcpcd.conf"), "static\n") << question;
    EXPECT_TRUE(std::filesystem::exists(
        platform::Path("/usr/local/netaudio/tarvo_package/tarvo_data/config/a.json")));
    EXPECT_FALSE(std::filesystem::exists(platform::Path("/tmp/reboot"))) << question;
    EXPECT_FALSE(ConfigSavesFrozen(g_unit.config_path));
  }
}

TEST_F(DeviceCommandsTest, MacAddressTable) {
  g_unit.config.hostname = "custom";
  struct Case {
    const char* line;
    const char* reply_start;
    const char* stored;  // nullptr: refused
  } cases[] = {
      {"NETMAC 00:11:22:aa:bb:cc", "[SUCCESS]Set MAC:00:11:22:AA:BB:CC", "00:11:22:AA:BB:CC"},
      {"NETMAC 00/11/22/33/44/55", "[SUCCESS]Set MAC:00:11:22:33:44:55", "00:11:22:33:44:55"},
      {"NETMAC 00-11-22-33-44-55", "[ERROR]Set MAC param out of range.", nullptr},
      {"NETMAC 00:11:22:33:44", "[ERROR]Set MAC param out of range.", nullptr},
      {"NETMAC", "[ERROR]Set MAC param out of range.", nullptr},
      // Addresses no interface can have: all zeros, broadcast, a group (multicast) address.
      {"NETMAC 00:00:00:00:00:00", "[ERROR]Set MAC param out of range.", nullptr},
      {"NETMAC ff:ff:ff:ff:ff:ff", "[ERROR]Set MAC param out of range.", nullptr},
      {"NETMAC 01:00:5e:00:00:01", "[ERROR]Set MAC param out of range.", nullptr},
      {"NETMAC 02:00:00:00:00:01", "[SUCCESS]Set MAC:02:00:00:00:00:01", "02:00:00:00:00:01"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(platform::Path("/oem/mac"));
    const std::string reply = Run(c.line);
    EXPECT_EQ(reply.substr(0, std::string(c.reply_start).size()), c.reply_start) << c.line;
    if (c.stored) {
      EXPECT_EQ(reply, std::string(c.reply_start) + kHint);
      EXPECT_EQ(Read("/oem/mac"), c.stored);
      EXPECT_EQ(g_unit.identity.mac, c.stored);
      EXPECT_EQ(Read("/etc/hostname"), "VX7206");
      EXPECT_EQ(g_unit.config.hostname, "VX7206");
    } else {
      EXPECT_FALSE(std::filesystem::exists(platform::Path("/oem/mac"))) << c.line;
    }
  }
  // A value far longer than any address is cut, never overruns.
  EXPECT_EQ(Run("NETMAC " + std::string(1000, 'A')).substr(0, 7), "[ERROR]");
}

TEST_F(DeviceCommandsTest, SubMacKeepsTheHostName) {
  g_unit.config.hostname = "custom";
  EXPECT_EQ(Run("NETSUBMAC 02/00/00/00/00/0a"), "[SUCCESS]Set sub MAC:02:00:00:00:00:0A" + kHint);
  EXPECT_EQ(Read("/oem/sub_mac"), "02:00:00:00:00:0A");
  EXPECT_EQ(g_unit.config.hostname, "custom");
  EXPECT_EQ(Run("GETNETSUBMAC"), "Sub Mac:02:00:00:00:00:0A\r\n");
}

TEST_F(DeviceCommandsTest, SerialNumber) {
  EXPECT_EQ(Run("NETSN abc123"), "[SUCCESS]Set SN to ABC123.\r\n");
  EXPECT_EQ(Run("GETNETSN"), "NET SN:ABC123\r\n");
  EXPECT_EQ(Run("NETSN"), "[SUCCESS]Set SN to .\r\n");
  EXPECT_EQ(Read("/oem/serialnumber"), "");
  EXPECT_EQ(Run("GETNETSN"), "NET SN:\r\n");
}

TEST_F(DeviceCommandsTest, IdentityWriteFailureIsAnError) {
  // A directory in the file's place cannot be replaced, whatever the process's rights.
  for (const char* path : {"/oem/serialnumber", "/oem/mac", "/oem/sub_mac"}) {
    std::filesystem::create_directories(platform::Path(path));
  }
  g_unit.config.hostname = "custom";
  EXPECT_EQ(Run("NETSN NEW"), "[ERROR]Set SN failed.\r\n");
  EXPECT_EQ(Run("NETMAC 00:11:22:33:44:55"), "[ERROR]Set MAC failed.\r\n");
  EXPECT_EQ(Run("NETSUBMAC 00:11:22:33:44:55"), "[ERROR]Set sub MAC failed.\r\n");
  EXPECT_EQ(g_unit.identity.mac, "");
  EXPECT_EQ(g_unit.identity.sub_mac, "");
  EXPECT_EQ(g_unit.config.hostname, "custom");
  EXPECT_FALSE(std::filesystem::exists(platform::Path("/etc/hostname")));
}

TEST_F(DeviceCommandsTest, Temperature) {
  const std::string reply = Run("TEMP");
  EXPECT_EQ(reply.substr(0, 33), "The temperature of the system is ");
  EXPECT_EQ(reply.substr(reply.size() - 4), "C.\r\n");
}

}  // namespace
