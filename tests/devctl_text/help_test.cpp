// The HELP table and listing: the help texts, built from their columns, are compared with a golden
// file written by hand from the command table, and the listing reaches a raw TCP client byte for
// byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "devctl/core/globals.h"
#include "devctl/text/control_ports.h"
#include "devctl/text/control_servers.h"
#include "devctl/text/dispatcher.h"
#include "devctl/text/history.h"
#include "devctl/text/text_commands.h"
#include "socket_client.h"
#include "tests/devctl_web/board_fixture.h"

namespace {

// The 58 help texts in listing order, each followed by "\r\n": the body of the HELP listing.
std::string Golden() {
  std::ifstream in(std::string(DEVCTL_TEXT_TEST_DIR) + "/help_golden.txt", std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Rule() { return std::string(65, '='); }

TEST(HelpTable, FiftyEightEntriesMatchTheGolden) {
  ASSERT_EQ(g_text_command_count, 58u);
  std::string body;
  std::set<const TextRoute*> routes;
  for (size_t i = 0; i < g_text_command_count; ++i) {
    const text_command_s& e = g_text_commands[i];
    EXPECT_EQ(e.variant, 0u) << i;
    ASSERT_NE(e.route, nullptr) << i;
    routes.insert(e.route);
    body += e.help + "\r\n";
  }
  EXPECT_EQ(routes.size(), 58u) << "each entry lists its own command";
  const std::string golden = Golden();
  ASSERT_FALSE(golden.empty());
  EXPECT_EQ(body, golden);
}

TEST(HelpTable, KeywordsAndRoutesOfTheIrregularEntries) {
  struct Case {
    size_t index;
    const char* keyword;
    const TextRoute* route;
  } cases[] = {
      {0, "?/HELP", &kRouteHelp},
      {15, "PORT", &kTermSetUsbPort},
      {19, "IN xx GAIN yy", &kTermSetInputGain},
      {33, "OUT xx VOL+", &kTermSetOutputVolumeUp},
      {49, "NET IP", &kTermSetIpAddress},
      {57, "NET DNS", &kTermSetDnsDomain},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(g_text_commands[c.index].keyword, c.keyword) << c.index;
    EXPECT_EQ(g_text_commands[c.index].route, c.route) << c.index;
  }
}

TEST(HelpTable, FormatterLayout) {
  const std::string pad30(30, ' ');
  EXPECT_EQ(FormatHelpText("Title", "CMD", {"One", "Two"}),
            std::string(29, '=') + " Title\r\nCMD" + std::string(27, ' ') + "One\r\n" + pad30 +
                "Two");
  // A syntax of 30 characters or more stands alone; every description line is indented.
  const std::string long_syntax(30, 'S');
  EXPECT_EQ(FormatHelpText(nullptr, long_syntax.c_str(), {"One", "Two"}),
            long_syntax + "\r\n" + pad30 + "One\r\n" + pad30 + "Two");
  EXPECT_EQ(FormatHelpText(nullptr, "CMD", {"One"}), "CMD" + std::string(27, ' ') + "One");
}

TEST(HelpListing, VariantHidesEntriesByDeviceType) {
  const text_command_s table[] = {
      {0, "A", &kRouteHelp, "=== System\r\nSTATUS"},
      {1, "B", &kRouteHelp, "TX only"},
      {2, "C", &kRouteHelp, "RX only"},
  };
  g_device_identity.main_version = "V1.2";
  g_device_identity.mcu_version = "M3";
  g_device_identity.netaudio_version = "V4_20240101";
  g_app_config.model = "VX7206";
  const std::string head = "\r\n" + Rule() + "\r\n      VX7206 Help Info\r\n"
                           "      FW Version:MCU_Main V1.2/MCU_Sub M3/NETAUDIO_SDK V4_20240101\r\n\r\n";
  const std::string tail = Rule() + "\r\n\r\n";
  struct Case {
    const char* type;
    std::string body;
  } cases[] = {
      {"TRX", "=== System\r\nSTATUS\r\nTX only\r\nRX only\r\n"},
      {"TX-8", "=== System\r\nSTATUS\r\nTX only\r\n"},
      {"RX1", "=== System\r\nSTATUS\r\nRX only\r\n"},
  };
  for (const auto& c : cases) {
    g_app_config.type = c.type;
    std::string reply;
    AppendHelpListing(reply, table, 3);
    EXPECT_EQ(reply, head + c.body + tail) << c.type;
  }
  g_device_identity = device_identity_s();
  g_app_config = app_config_s();
}

class HelpOverTcpTest : public webtest::BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    std::filesystem::create_directories(platform::Path("/oem"));
    HistoryInit();
    ClearResetConfirms();
    g_app_config.tcpportenable = 1;
    g_app_config.tcpport = 0;
    g_app_config.type = "TRX";
    StartTcpServerFromConfig();
    ASSERT_TRUE(g_tcp_server.running());
  }
  void TearDown() override {
    g_tcp_server.Stop();
    g_device_identity = device_identity_s();
    BoardTest::TearDown();
  }
};

TEST_F(HelpOverTcpTest, RawClientReceivesTheWholeListing) {
  g_device_identity.main_version = "V2.0.1";
  g_device_identity.mcu_version = "V1.3";
  g_device_identity.netaudio_version = "V5.1_20240611";
  const int fd = testclient::Connect(g_tcp_server.BoundPort());
  ASSERT_GE(fd, 0);
  testclient::Send(fd, "help\r");
  const std::string tail = Rule() + "\r\n\r\nVX7206>";
  // The line editor echoes the typed line; the reply follows.
  const std::string expected =
      "help\r\n\r\n" + Rule() + "\r\n      VX7206 Help Info\r\n"
      "      FW Version:MCU_Main V2.0.1/MCU_Sub V1.3/NETAUDIO_SDK V5.1_20240611\r\n\r\n" +
      Golden() + tail;
  EXPECT_EQ(testclient::ReadUntil(fd, tail), expected);
  close(fd);
}

}  // namespace
