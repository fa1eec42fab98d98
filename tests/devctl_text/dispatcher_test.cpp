#include "devctl/devices/dsp_channels.h"
#include "devctl/text/dispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/markers.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/device_commands.h"
#include "devctl/text/dispatch_routes.h"
#include "devctl/text/eq_commands.h"
#include "devctl/text/help_command.h"
#include "devctl/text/input_gain_commands.h"
#include "devctl/text/link_group_commands.h"
#include "devctl/text/mute_commands.h"
#include "devctl/text/name_commands.h"
#include "devctl/text/network_commands.h"
#include "devctl/text/output_volume_commands.h"
#include "devctl/text/preset_commands.h"
#include "devctl/text/routing_commands.h"
#include "devctl/text/status_report.h"
#include "devctl/text/system_commands.h"
#include "devctl/text/text_commands.h"
#include "tests/support/text_commands.h"

namespace {

// The row a typed line reaches, nullptr when none.
const TextRow* RowOf(std::string raw) {
  PreparedLine p;
  if (!PrepareLine(raw.data(), static_cast<int>(raw.size()), &p)) return nullptr;
  return FindTextRow(p);
}

TextHandler HandlerOf(const std::string& raw) {
  const TextRow* row = RowOf(raw);
  return row ? row->handler : nullptr;
}

// Built from the rows: each row's example, typed, reaches that row and no row before it, so the
// order is checked where it is defined.
TEST(DispatchRoutes, EveryRowAnswersItsExample) {
  const std::vector<TextRow>& rows = TextDispatchTable();
  ASSERT_FALSE(rows.empty());
  for (const TextRow& row : rows) {
    ASSERT_NE(row.example, nullptr);
    EXPECT_NE(row.handler, nullptr) << row.example;
    EXPECT_EQ(RowOf(row.example), &row) << row.example;
  }
}

// Every command HELP lists can be typed, and only the identity commands are typed but not
// listed.
TEST(DispatchRoutes, HelpListsEveryCommandButTheIdentityOnes) {
  std::set<TextHandler> typed, listed;
  for (const TextRow& row : TextDispatchTable()) typed.insert(row.handler);
  for (const text_command_s& entry : TextHelpTable()) listed.insert(entry.handler);
  std::set<TextHandler> unlisted;
  std::set_difference(typed.begin(), typed.end(), listed.begin(), listed.end(),
                      std::inserter(unlisted, unlisted.end()));
  EXPECT_EQ(unlisted, (std::set<TextHandler>{TermSetMac, TermSetSubMac, TermGetSubMac,
                                             TermSetSerialNumber, TermGetSerialNumber}));
  for (TextHandler h : listed) EXPECT_EQ(typed.count(h), 1u) << "a listed command is not typed";
}

TEST(DispatchRoutes, KeywordOrder) {
  struct Case {
    const char* line;
    TextHandler handler;
  } cases[] = {
      {"status\r", TermPrintStatus},
      {"uptime", TermPrintUptime},
      {"temp", TermPrintTemperature},
      {"reset all", TermResetAll},
      {"reset", TermResetSystem},
      {"reboot", TermReboot},
      {"net dhcp on", TermSetDhcp},
      {"net ip 10.0.0.5", TermSetIpAddress},
      {"net tcpport on", TermSetTcpPortEnable},
      {"net tcpport 9000", TermSetTcpPort},
      {"net tn off", TermSetTelnetEnable},
      {"net tn 2323", TermSetTelnetPort},
      {"pon", TermPowerOn},
      {"poff", TermPowerOff},
      {"rsb 2", TermSetBaudRate},
      {"usbport 1", TermSetUsbPort},
      {"set usb port 2", TermSetUsbPort},
      {"in 1 name USB PORT", TermSetInputName},
      {"in 1 name Stage Left", TermSetInputName},
      {"in 1 chlock on", TermSetInputChannelLock},
      {"in 1 pht on", TermSetInputPhantom},
      {"in 1 mute on", TermSetInputMute},
      {"in 1 eq 1 type 1 frq 100 gain 3 q 1", TermSetInputEqBand},
      {"in 1 eq lock on", TermSetInputEqLock},
      {"in 1 eq 2 on", TermSetInputEqEnable},
      {"in 1 eqclr", TermClearInputEq},
      {"in 1 eq preset 2", TermSetInputEqPreset},
      {"IN 1 GAIN 5", TermSetInputGain},
      {"in 1 gain +3", TermSetInputGain},
      {"IN1GAIN5", TermSetInputGain},
      {"IN1GAIN+5", TermSetInputGainUp},
      {"IN1GAIN-5", TermSetInputGainDown},
      {"in group 1 member 10000000000000", TermSetInputGroupMembers},
      // USB PORT is searched anywhere before a name, ahead of the channel and preset commands.
      {"in 1 mute on usb port 2", TermSetUsbPort},
      {"preset 1 usbport", TermSetUsbPort},
      // The EQ lock and enable tests: ON after the first LOCK or OFF makes a lock line; ON
      // before LOCK switches a band; LOCK alone is an incomplete EQ command.
      {"IN 1 EQ 1 OFF LOCK", TermSetInputEqLock},
      {"IN 1 EQ 1 ON LOCK", TermSetInputEqEnable},
      {"IN 1 EQ LOCK", TermSetInputEqBand},
      // A line that names EQ never reaches the gain or volume commands.
      {"IN 1 EQ 1 TYPE 1 FRQ 100 GAIN-3", TermSetInputEqBand},
      {"IN 1 EQ 1 TYPE 1 FRQ 100 GAIN 3", TermSetInputEqBand},
      {"IN 1 EQ GAIN+3", TermSetInputEqBand},
      {"OUT 1 EQ 1 TYPE 1 VOL 5", TermSetOutputEqBand},
      {"OUT 1 EQ VOL+3", TermSetOutputEqBand},
      {"in 1 foo", nullptr},
      {"out 1 vol+2", TermSetOutputVolumeUp},
      {"out 1 vol 50", TermSetOutputVolume},
      {"OUT 1 EQ 1 FRQ 100", TermSetOutputSource},
      {"out 1 fr 3", TermSetOutputSource},
      {"OUT 1 EQ PRESET 2 FR 3", TermSetOutputSource},
      {"OUT 1 EQ 1 ON MUTE ON", TermSetOutputMute},
      {"out 1 dlyt 5", TermSetOutputDelay},
      {"preset 1 status", TermPrintPresetStatus},
      {"PRESET 1 NAME SAVE ME", TermSetPresetName},
      {"PRESET 2 NAME DELETED", TermSetPresetName},
      {"preset 2 delete", TermDeletePreset},
      {"preset 2", nullptr},
      {"net dns example", TermSetDnsDomain},
      {"getnetsubmac", TermGetSubMac},
      {"netsn 123", TermSetSerialNumber},
      {"?", TermPrintHelp},
      {"help", TermPrintHelp},
      {"helpme", TermPrintHelp},
      {"xyz", nullptr},
  };
  for (const auto& c : cases) EXPECT_EQ(HandlerOf(c.line), c.handler) << c.line;
  // The RESET lines only ask; the confirmed commands have no keyword of their own.
  EXPECT_NE(RowOf("reset all")->question, nullptr);
  EXPECT_NE(RowOf("reset")->question, nullptr);
  EXPECT_EQ(RowOf("reboot")->question, nullptr);
}

TEST(DispatchRoutes, NamesKeepTheirCaseAndLoseTheirBlanks) {
  std::string raw = "in 1 name Stage Left\r";
  PreparedLine p;
  ASSERT_TRUE(PrepareLine(raw.data(), static_cast<int>(raw.size()), &p));
  EXPECT_EQ(std::string(p.condensed, p.count), "IN1NAMEStageLeft\r");
  EXPECT_EQ(p.scope, "IN1");
  EXPECT_EQ(raw, "IN 1 NAME STAGE LEFT\r");
}

class DispatcherTest : public testsupport::TextCommandFixture {
 protected:
  void SetUp() override {
    TextCommandFixture::SetUp();
    for (const char* dir : {"/oem", "/etc", "/tmp", "/usr/local/backend/apps"}) {
      std::filesystem::create_directories(platform::Path(dir));
    }
    ClearResetConfirms();
    g_unit.net_edit_pending = false;
  }
  void TearDown() override {
    ClearResetConfirms();
    g_unit.net_edit_pending = false;
    TextCommandFixture::TearDown();
  }
};

TEST_F(DispatcherTest, EveryReplyIsFramedByTheLineEndAndThePrompt) {
  EXPECT_EQ(Framed("xyz\r"), "\r\n[ERROR]Command not found.\r\nVX7206>");
  EXPECT_EQ(Framed("\r\n"), "\r\nVX7206>");
  EXPECT_EQ(Framed("   \r"), "\r\nVX7206>");
  EXPECT_EQ(Framed("ab\x7f\x7f\r"), "\r\nVX7206>");
  EXPECT_EQ(Framed(""), "\r\nVX7206>");
  g_unit.config.model = "MX88";
  EXPECT_EQ(Framed("IN 99 GAIN 5\r"),
            "\r\n[ERROR]Set input gain param out of range. Type \"HELP\" for more reference.\r\n"
            "MX88>");
}

TEST_F(DispatcherTest, OverlongLineIsRefusedBeforeAnyHandler) {
  std::string line = "IN 1 GAIN 5";
  line += std::string(5000, 'x');
  line += "\r";
  EXPECT_EQ(Framed(line), "\r\n[ERROR]Command not found.\r\nVX7206>");
  EXPECT_EQ(g_unit.config.analogue_input_gain[0], 0);
  EXPECT_TRUE(platform::sim_i2c().Transfers().empty());
  // Blanks do not count: a long line of blanks around a command still runs it.
  EXPECT_EQ(Framed(std::string(5000, ' ') + "IN 1 GAIN 5\r"),
            "\r\n[SUCCESS]Set analogue input CH1 gain to 5dB.\r\nVX7206>");
}

TEST_F(DispatcherTest, ResetQuestionIsAnsweredByTheSameClientOnly) {
  const std::string ask =
      "\r\nSure to reset system settings to default? Type \"Yes\" after next "
      "prompt to confirm...\r\nVX7206>";
  struct Case {
    std::vector<std::string> lines;
    std::string last_reply;
  } cases[] = {
      {{"reset", "No"}, "\r\n[SUCCESS]RESET process ignored.\r\nVX7206>"},
      {{"reset", "maybe"}, "\r\n[ERROR]Error answer, RESET process ignored.\r\nVX7206>"},
      {{"reset", "reset"}, "\r\n[ERROR]Error answer, RESET process ignored.\r\nVX7206>"},
      {{"reset", "\r", "no thanks"}, "\r\n[SUCCESS]RESET process ignored.\r\nVX7206>"},
  };
  for (const auto& c : cases) {
    std::string last;
    for (const auto& l : c.lines) last = Framed(l);
    EXPECT_EQ(last, c.last_reply) << c.lines[1];
    EXPECT_EQ(PendingConfirmation(4), nullptr);
  }
  EXPECT_EQ(Framed("reset"), ask);
  EXPECT_EQ(Framed("reset all", 9),
            "\r\nSure to reset system and network settings to default? Type \"Yes\" after next "
            "prompt to confirm...\r\nVX7206>");
  // Another client's command runs normally while the question is open.
  EXPECT_EQ(Framed("IN1GAIN3", 7), "\r\n[SUCCESS]Set analogue input CH1 gain to 3dB.\r\nVX7206>");
  ASSERT_NE(PendingConfirmation(4), nullptr);
  EXPECT_EQ(PendingConfirmation(4)->handler, TermResetSystem);
  ASSERT_NE(PendingConfirmation(9), nullptr);
  EXPECT_EQ(PendingConfirmation(9)->handler, TermResetAll);
  ForgetResetConfirm(9);
  EXPECT_EQ(PendingConfirmation(9), nullptr);
  EXPECT_EQ(Framed("no"), "\r\n[SUCCESS]RESET process ignored.\r\nVX7206>");
}

TEST_F(DispatcherTest, NetworkEditIsClosedByTheFirstOtherCommand) {
  g_unit.config.dhcp = 0;
  g_unit.config.ipaddress = "192.168.1.100";
  g_unit.config.hostname = "unit-a";
  Framed("NET IP 10.0.0.5");
  EXPECT_TRUE(g_unit.net_edit_pending);
  EXPECT_EQ(g_unit.pending.type, "TRX");
  EXPECT_FALSE(Read("/oem/app.json").empty());  // the edit starts from the stored file
  g_unit.pending.hostname = "edited";
  Framed("STATUS");
  Framed("net gw 10.0.0.1");
  EXPECT_TRUE(g_unit.net_edit_pending);
  EXPECT_EQ(Read("/etc/hostname"), "");
  Framed("in 1 name My Input");  // "NET" after NAME is a name, not a network command
  EXPECT_FALSE(g_unit.net_edit_pending);
  EXPECT_EQ(g_unit.pending.hostname, "unit-a");
  EXPECT_EQ(Read("/etc/hostname"), "unit-a");
  EXPECT_NE(Read("/etc/dhcpcd.conf").find("192.168.1.100"), std::string::npos);
  // A blank line leaves an open edit as it is.
  Framed("NET IP 10.0.0.6");
  Framed("\r");
  EXPECT_TRUE(g_unit.net_edit_pending);
}

TEST_F(DispatcherTest, FrameWakesBeforeTheHandlerAndSavesOnlyAChange) {
  const std::string power_on = "[SUCCESS]Set system power on, please wait a moment...\r\n";
  const std::string range_error =
      "[ERROR]Set input gain param out of range. Type \"HELP\" for more reference.\r\n";
  struct Case {
    int power;
    const char* line;
    std::string text;  // everything the ports receive for the line
    long saves;
  } cases[] = {
      {1, "IN 1 GAIN 5\r", "\r\n[SUCCESS]Set analogue input CH1 gain to 5dB.\r\nVX7206>", 1},
      // The power-on notice goes out ahead of the reply.
      {0, "IN 1 GAIN 6\r", power_on + "\r\n[SUCCESS]Set analogue input CH1 gain to 6dB.\r\nVX7206>",
       1},
      // A refused command still wakes the unit, and the stored power state is saved.
      {0, "IN 99 GAIN 5\r", power_on + "\r\n" + range_error + "VX7206>", 1},
      {1, "IN 99 GAIN 5\r", "\r\n" + range_error + "VX7206>", 0},
      // A line that is no command neither wakes nor saves.
      {0, "OUT 1 NOTHING 50\r", "\r\n[ERROR]Command not found.\r\nVX7206>", 0},
  };
  for (const auto& c : cases) {
    g_unit.config.power = c.power;
    const long before = Saves();
    EXPECT_EQ(Framed(c.line), c.text) << c.line;
    EXPECT_EQ(Saves() - before, c.saves) << c.line;
    EXPECT_EQ(g_unit.config.power, c.text.find(power_on) == 0 ? 1 : c.power) << c.line;
    // What the unit starts with after a restart.
    if (c.saves != 0) {
      EXPECT_EQ(Saved().power, 1) << c.line;
    }
  }
}

// Every row, typed in standby: the frame wakes the unit (and stores the power state) for every
// command but the queries, the port, power-off and identity commands, the RESET questions and
// HELP. Power-on switches the unit on itself.
TEST_F(DispatcherTest, EveryRowInStandbyWakesUnlessItIsOneThatNeverWakes) {
  std::ofstream(platform::Path("/usr/local/backend/apps/dhcpcd.conf")) << "# template\n";
  const std::set<TextHandler> never_wakes = {
      TermPrintStatus,     TermPrintUptime,     TermPrintTemperature,
      TermSetUsbPort,      TermPowerOff,        TermPrintPresetStatus,
      TermSetSerialNumber, TermGetSerialNumber, TermGetSubMac,
      TermSetMac,          TermSetSubMac,       TermPrintHelp,
  };
  for (const TextRow& row : TextDispatchTable()) {
    ClearResetConfirms();
    g_unit.config.power = 0;
    const long saves = Saves();
    const std::string text = Framed(row.example);
    RunRebootAfterReply();  // as the port frame does once the reply is queued
    const bool woke = g_unit.config.power == 1;
    const bool asks = row.question != nullptr;
    EXPECT_EQ(woke, !asks && never_wakes.count(row.handler) == 0) << row.example << "\n" << text;
    if (woke) {
      EXPECT_GT(Saves(), saves) << row.example;
    }
  }
}

TEST_F(DispatcherTest, FailedSaveIsReportedAndTheChangeStays) {
  platform::FailWritesAfter(0);
  EXPECT_EQ(Framed("IN 2 GAIN -7\r"),
            "\r\n[SUCCESS]Set analogue input CH2 gain to -7dB.\r\n"
            "[ERROR]Settings could not be saved.\r\nVX7206>");
  platform::FailWritesAfter(-1);
  EXPECT_EQ(g_unit.config.analogue_input_gain[1], -7);
  EXPECT_EQ(DspGainWord(1), DspInputGainWord(1, -7));
  EXPECT_EQ(Saves(), 0);
  EXPECT_EQ(Read("/oem/app.json"), "");
  // The next save writes the change.
  EXPECT_EQ(Framed("IN 3 GAIN 1\r"), "\r\n[SUCCESS]Set analogue input CH3 gain to 1dB.\r\nVX7206>");
  app_config_s saved;
  std::string path;
  LoadAppConfigFile(path, "/oem/app.json", &saved, "02:00:00:00:00:01", "TRX");
  EXPECT_EQ(saved.analogue_input_gain[1], -7);
  EXPECT_EQ(saved.analogue_input_gain[2], 1);
}

}  // namespace
