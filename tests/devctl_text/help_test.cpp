// The HELP table and listing: the help texts, built from their columns, are compared with a golden
// file written by hand from the command table, and the listing reaches a raw TCP client byte for
// byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "devctl/core/unit_state.h"
#include "devctl/text/control_ports.h"
#include "devctl/text/control_servers.h"
#include "devctl/text/dispatcher.h"
#include "devctl/text/help_command.h"
#include "devctl/text/history.h"
#include "devctl/text/input_gain_commands.h"
#include "devctl/text/network_commands.h"
#include "devctl/text/output_volume_commands.h"
#include "devctl/text/system_commands.h"
#include "devctl/text/text_commands.h"
#include "socket_client.h"
#include "tests/support/sim_unit.h"

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
  const std::vector<text_command_s>& table = TextHelpTable();
  ASSERT_EQ(table.size(), 58u);
  std::string body;
  std::set<TextHandler> handlers;
  for (size_t i = 0; i < table.size(); ++i) {
    const text_command_s& e = table[i];
    EXPECT_EQ(e.variant, 0u) << i;
    ASSERT_NE(e.handler, nullptr) << i;
    handlers.insert(e.handler);
    body += e.help + "\r\n";
  }
  EXPECT_EQ(handlers.size(), 58u) << "each entry lists its own command";
  const std::string golden = Golden();
  ASSERT_FALSE(golden.empty());
  EXPECT_EQ(body, golden);
}

TEST(HelpTable, KeywordsAndHandlersOfTheIrregularEntries) {
  struct Case {
    size_t index;
    const char* keyword;
    TextHandler handler;
  } cases[] = {
      {0, "?/HELP", TermPrintHelp},
      {15, "PORT", TermSetUsbPort},
      {19, "IN xx GAIN yy", TermSetInputGain},
      {33, "OUT xx VOL+", TermSetOutputVolumeUp},
      {49, "NET IP", TermSetIpAddress},
      {57, "NET DNS", TermSetDnsDomain},
  };
  const std::vector<text_command_s>& table = TextHelpTable();
  ASSERT_EQ(table.size(), 58u);
  for (const auto& c : cases) {
    EXPECT_STREQ(table[c.index].keyword, c.keyword) << c.index;
    EXPECT_EQ(table[c.index].handler, c.handler) << c.index;
  }
}

TEST(HelpTable, FormatterLayout) {
  const std::string pad30(30, ' ');
  EXPECT_EQ(
      FormatHelpText("Title", "CMD", {"One", "Two"}),
      std::string(29, '=') + " Title\r\nCMD" + std::string(27, ' ') + "One\r\n" + pad30 + "Two");
  // A syntax of 30 characters or more stands alone; every description line is indented.
  const std::string long_syntax(30, 'S');
  EXPECT_EQ(FormatHelpText(nullptr, long_syntax.c_str(), {"One", "Two"}),
            long_syntax + "\r\n" + pad30 + "One\r\n" + pad30 + "Two");
  EXPECT_EQ(FormatHelpText(nullptr, "CMD", {"One"}), "CMD" + std::string(27, ' ') + "One");
}

TEST(HelpListing, VariantHidesEntriesByDeviceType) {
  const text_command_s table[] = {
      {0, "A", TermPrintHelp, "=== System\r\nSTATUS"},
      {1, "B", TermPrintHelp, "TX only"},
      {2, "C", TermPrintHelp, "RX only"},
  };
  g_unit.identity.main_version = "V1.2";
  g_unit.identity.mcu_version = "M3";
  g_unit.identity.netaudio_version = "V4_20240101";
  g_unit.config.model = "VX7206";
  const std::string head =
      "\r\n" + Rule() +
      "\r\n      VX7206 Help Info\r\n"
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
    g_unit.config.type = c.type;
    std::string reply;
    AppendHelpListing(reply, table, 3);
    EXPECT_EQ(reply, head + c.body + tail) << c.type;
  }
  g_unit.identity = device_identity_s();
  g_unit.config = app_config_s();
}

class HelpOverTcpTest : public testsupport::SimUnitFixture {
 protected:
  void SetUp() override {
    SimUnitFixture::SetUp();
    std::filesystem::create_directories(platform::Path("/oem"));
    HistoryInit();
    ClearResetConfirms();
    g_unit.config.tcpportenable = 1;
    g_unit.config.tcpport = 0;
    g_unit.config.type = "TRX";
    StartTcpServerFromConfig();
    ASSERT_TRUE(g_control_servers.tcp.running());
  }
  void TearDown() override {
    g_control_servers.tcp.Stop();
    g_unit.identity = device_identity_s();
    SimUnitFixture::TearDown();
  }
};

TEST_F(HelpOverTcpTest, RawClientReceivesTheWholeListing) {
  g_unit.identity.main_version = "V2.0.1";
  g_unit.identity.mcu_version = "V1.3";
  g_unit.identity.netaudio_version = "V5.1_20240611";
  const int fd = testclient::Connect(g_control_servers.tcp.BoundPort());
  ASSERT_GE(fd, 0);
  testclient::Send(fd, "help\r");
  const std::string tail = Rule() + "\r\n\r\nVX7206>";
  // The line editor echoes the typed line; the reply follows.
  const std::string expected =
      "help\r\n\r\n" + Rule() +
      "\r\n      VX7206 Help Info\r\n"
      "      FW Version:MCU_Main V2.0.1/MCU_Sub V1.3/NETAUDIO_SDK V5.1_20240611\r\n\r\n" +
      Golden() + tail;
  EXPECT_EQ(testclient::ReadUntil(fd, tail), expected);
  close(fd);
}

}  // namespace
