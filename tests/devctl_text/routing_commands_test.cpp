#include "devctl/core/config_defaults.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/text/routing_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/text_commands.h"

namespace {

using Log = std::vector<std::string>;

class RoutingCommandTest : public testsupport::TextCommandFixture {};

// Link flags by pair index (0-6) for one side.
void LinkInputs(std::initializer_list<int> pairs) {
  for (int p : pairs) g_unit.config.InputLinkRef(p) = 1;
}
void LinkOutputs(std::initializer_list<int> pairs) {
  for (int p : pairs) g_unit.config.OutputLinkRef(p) = 1;
}

std::vector<int> Control() {
  return std::vector<int>(g_unit.config.control, g_unit.config.control + kDspChannels);
}

TEST_F(RoutingCommandTest, SingleOutputs) {
  const struct {
    const char* line;
    const char* reply;
    int out;
    int src;
  } cases[] = {
      {"OUT 1 FR 2", "[SUCCESS]Set output analogue CH1 from analogue input CH2.\r\n", 0, 2},
      {"OUT 12 FR 13", "[SUCCESS]Set output tarvo CH8 from USB input left.\r\n", 11, 13},
      {"OUT 13 FR 0", "[SUCCESS]Set output USB left from none.\r\n", 12, 0},
      {"OUT 14 FR 5", "[SUCCESS]Set output USB right from tarvo input CH1.\r\n", 13, 5},
      {"OUT01FR002", "[SUCCESS]Set output analogue CH1 from analogue input CH2.\r\n", 0, 2},
      {"OUT 3 FR 4 trailing", "[SUCCESS]Set output analogue CH3 from analogue input CH4.\r\n", 2,
       4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(std::string(c.line) + "\r"), c.reply) << c.line;
    EXPECT_EQ(g_unit.config.control[c.out], c.src) << c.line;
    EXPECT_EQ(SourceCell(c.out), DspSourceCode(c.src)) << c.line;
  }
  EXPECT_EQ(Saves(), 6);
  EXPECT_EQ(Saved().control[11], 13);
}

TEST_F(RoutingCommandTest, LinkedPairs) {
  struct Case {
    std::vector<int> in_pairs, out_pairs;
    std::vector<int> control;  // before
    const char* line;
    Log dsp;
    std::vector<int> after;
    const char* reply;
  };
  const std::vector<int> straight = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  const Case cases[] = {
      {{6},
       {2},
       straight,
       "OUT 6 FR 13",
       {"src 4=13", "src 5=14"},
       {1, 2, 3, 4, 13, 14, 7, 8, 9, 10, 11, 12, 13, 14},
       "[SUCCESS]Set output tarvo CH1/CH2 from USB input left/right.\r\n"},
      {{0, 1},
       {0},
       straight,
       "OUT 2 FR 2",
       {"src 0=1", "src 1=2"},
       straight,
       "[SUCCESS]Set output analogue CH1/CH2 from analogue input CH1/CH2.\r\n"},
      // A linked output pair whose input pair is not linked is routed output by output.
      {{},
       {0},
       straight,
       "OUT 1 FR 3",
       {"src 0=3"},
       {3, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
       "[SUCCESS]Set output analogue CH1 from analogue input CH3.\r\n"},
      // Breaking up a pair-fed output pair clears it first.
      {{0},
       {0},
       straight,
       "OUT 2 FR 3",
       {"src 0=0", "src 1=0", "src 1=3"},
       {0, 3, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
       "[SUCCESS]Set output analogue CH2 from analogue input CH3.\r\n"},
      {{0},
       {1},
       {1, 2, 1, 2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
       "OUT 4 FR 0",
       {"src 2=0", "src 3=0"},
       {1, 2, 0, 0, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
       "[SUCCESS]Set output analogue CH3/CH4 from none.\r\n"},
      {{0},
       {1},
       {1, 2, 5, 2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
       "OUT 4 FR 0",
       {"src 3=0"},
       {1, 2, 5, 0, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
       "[SUCCESS]Set output analogue CH4 from none.\r\n"},
  };
  for (const auto& c : cases) {
    g_unit.config = app_config_s();
    ResetAppConfig("/oem/app.json", &g_unit.config, "02:00:00:00:00:01");
    g_unit.config.power = 1;
    for (int p : c.in_pairs) g_unit.config.InputLinkRef(p) = 1;
    for (int p : c.out_pairs) g_unit.config.OutputLinkRef(p) = 1;
    std::copy(c.control.begin(), c.control.end(), g_unit.config.control);
    EXPECT_EQ(Run(std::string(c.line) + "\r"), c.reply) << c.line;
    // The DSP's source codes: 1-4 analogue, 5/6 USB, 7-14 Tarvo.
    Log dsp;
    for (const auto& entry : DspLog()) dsp.push_back(entry);
    Log expected;
    for (const auto& e : c.dsp) {
      const size_t eq = e.find('=');
      expected.push_back(e.substr(0, eq + 1) +
                         std::to_string(DspSourceCode(std::stoi(e.substr(eq + 1)))));
    }
    EXPECT_EQ(dsp, expected) << c.line;
    EXPECT_EQ(Control(), c.after) << c.line;
  }
}

TEST_F(RoutingCommandTest, AllOutputs) {
  EXPECT_EQ(Run("OUT 0 FR 0\r"),
            "[SUCCESS]Set all output from none.\r\n"
            "[SUCCESS]Set output analogue CH1 from none.\r\n"
            "[SUCCESS]Set output analogue CH2 from none.\r\n"
            "[SUCCESS]Set output analogue CH3 from none.\r\n"
            "[SUCCESS]Set output analogue CH4 from none.\r\n"
            "[SUCCESS]Set output tarvo CH1 from none.\r\n"
            "[SUCCESS]Set output tarvo CH2 from none.\r\n"
            "[SUCCESS]Set output tarvo CH3 from none.\r\n"
            "[SUCCESS]Set output tarvo CH4 from none.\r\n"
            "[SUCCESS]Set output tarvo CH5 from none.\r\n"
            "[SUCCESS]Set output tarvo CH6 from none.\r\n"
            "[SUCCESS]Set output tarvo CH7 from none.\r\n"
            "[SUCCESS]Set output tarvo CH8 from none.\r\n"
            "[SUCCESS]Set output USB left from none.\r\n"
            "[SUCCESS]Set output USB right from none.\r\n");
  EXPECT_EQ(Control(), std::vector<int>(kDspChannels, 0));

  LinkOutputs({0, 3, 6});
  LinkInputs({0});
  const std::string reply = Run("OUT 0 FR 1\r");
  EXPECT_EQ(Count(reply, "\r\n"), 12);
  EXPECT_EQ(reply.substr(0, reply.find("\r\n") + 2),
            "[SUCCESS]Set all output from analogue input CH1.\r\n");
  EXPECT_NE(reply.find("[SUCCESS]Set output analogue CH1/CH2 from analogue input CH1/CH2.\r\n"
                       "[SUCCESS]Set output analogue CH3 from analogue input CH1.\r\n"),
            std::string::npos);
  EXPECT_NE(reply.find("[SUCCESS]Set output tarvo CH3/CH4 from analogue input CH1/CH2.\r\n"),
            std::string::npos);
  EXPECT_NE(reply.find("[SUCCESS]Set output USB left/right from analogue input CH1/CH2.\r\n"),
            std::string::npos);
  EXPECT_EQ(Control(), (std::vector<int>{1, 2, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 2}));

  const std::string from2 = Run("OUT 0 FR 2\r");
  EXPECT_EQ(from2.substr(0, from2.find("\r\n") + 2),
            "[SUCCESS]Set all output from analogue input CH2.\r\n");
  EXPECT_EQ(Control(), (std::vector<int>{1, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 1, 2}));
}

TEST_F(RoutingCommandTest, OutOfRange) {
  const std::string error =
      "[ERROR]Output from param out of range. Type \"HELP\" for more reference.\r\n";
  for (const char* line : {"OUT1FR\r", "OUT 15 FR 1\r", "OUT 1 FR 15\r", "OUT 1 FR -1\r",
                           "OUT FR 1\r", "OUT 99999999999 FR 1\r"}) {
    EXPECT_EQ(Run(line), error) << line;
  }
  EXPECT_TRUE(DspLog().empty());
  EXPECT_EQ(Saves(), 0);
  EXPECT_EQ(g_unit.config.control[0], 1);
}

}  // namespace
