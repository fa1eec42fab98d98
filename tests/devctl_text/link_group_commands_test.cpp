#include "devctl/core/unit_state.h"
#include "devctl/text/link_group_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/text_commands.h"

namespace {

using Log = std::vector<std::string>;

class LinkGroupTest : public testsupport::TextCommandFixture {};

TEST_F(LinkGroupTest, LockLinesForEveryPair) {
  const char* kinds[] = {"analogue input CH1/CH2", "analogue input CH3/CH4", "tarvo input CH1/CH2",
                         "tarvo input CH3/CH4",    "tarvo input CH5/CH6",    "tarvo input CH7/CH8",
                         "USB input left/right"};
  for (int p = 0; p < kStereoPairs; ++p) {
    const std::string in = std::to_string(2 * p + 2);
    EXPECT_EQ(Run("IN " + in + " CH LOCK ON\r"),
              std::string("[SUCCESS]Set ") + kinds[p] + " locked.\r\n");
    EXPECT_EQ(g_unit.config.InputLinkRef(p), 1) << p;
    std::string out_kind = kinds[p];
    out_kind.replace(out_kind.find("input"), 5, "output");
    const std::string first = std::to_string(2 * p + 1);
    EXPECT_EQ(Run("OUT " + first + " CH LOCK OFF\r"),
              "[SUCCESS]Set " + out_kind + " unlocked.\r\n");
  }
  EXPECT_EQ(Saves(), 2 * kStereoPairs);
  EXPECT_EQ(Saved().usb_input_stereo, 1);
}

TEST_F(LinkGroupTest, LinkingClearsRoutesThatNoLongerFit) {
  g_unit.config.analogue_output_stereo[0] = 1;
  g_unit.config.control[0] = 2;  // output 1 from input 2: crosses the pair once it is linked
  g_unit.config.control[1] = 5;
  EXPECT_EQ(Run("IN 2 CH LOCK ON\r"), "[SUCCESS]Set analogue input CH1/CH2 locked.\r\n");
  EXPECT_EQ(g_unit.config.control[0], 0);
  EXPECT_EQ(g_unit.config.control[1], 5);
  EXPECT_EQ(DspLog(), (Log{"src 0=0"}));  // only the route: levels stay with each channel
}

TEST_F(LinkGroupTest, LockErrorsAndKeywordlessLines) {
  const std::string in_error =
      "[ERROR]Set input lock param out of range. Type \"HELP\" for more reference.\r\n";
  const std::string out_error =
      "[ERROR]Set output lock param out of range. Type \"HELP\" for more reference.\r\n";
  EXPECT_EQ(Run("IN 0 CH LOCK ON\r"), in_error);
  EXPECT_EQ(Run("IN 15 CH LOCK ON\r"), in_error);
  EXPECT_EQ(Run("OUT 15 CH LOCK ON\r"), out_error);
  EXPECT_EQ(Run("OUT CH LOCK ON\r"), out_error);
  EXPECT_EQ(Saves(), 0);
  // Neither ON nor OFF: nothing changes; saved anyway, the output command answers an empty line.
  EXPECT_EQ(Run("IN 1 CH LOCK\r"), "");
  EXPECT_EQ(Run("OUT 1 CH LOCK\r"), "\r\n");
  EXPECT_EQ(Saves(), 2);
  EXPECT_EQ(g_unit.config.analogue_input_stereo[0], 0);
}

TEST_F(LinkGroupTest, DelayOfOneOrAllOutputs) {
  g_unit.config.analogue_output_stereo[1] = 1;
  g_unit.config.group_output_stereo1[2] = 1;
  EXPECT_EQ(Run("OUT 3 DLYT 20\r"), "[SUCCESS]Set analogue CH3 output delay time to 20ms.\r\n");
  EXPECT_EQ(DspLog(), (Log{"delay 2=960"}));
  EXPECT_EQ(DelayCell(2), 960u);
  EXPECT_EQ(g_unit.config.analogue_output_delay[2], 20);
  EXPECT_EQ(g_unit.config.analogue_output_delay[3], 0);  // the linked partner keeps its own
  EXPECT_EQ(g_unit.config.group_output_stereo1[2], 1);
  EXPECT_EQ(Run("OUT 7 DLYT 1\r"), "[SUCCESS]Set tarvo CH3 output delay time to 1ms.\r\n");
  EXPECT_EQ(DelayCell(6), 48u);
  // Both USB outputs share one delay cell of the DSP.
  EXPECT_EQ(Run("OUT 14 DLYT 2\r"), "[SUCCESS]Set USB output right delay time to 2ms.\r\n");
  EXPECT_EQ(DelayCell(12), 96u);
  EXPECT_EQ(g_unit.config.usb_output_delay[1], 2);

  EXPECT_EQ(Run("OUT 0 DLYT 50\r"), "[SUCCESS]Set all output delay time to 50ms.\r\n");
  for (int c = 0; c < kDspChannels; ++c) {
    EXPECT_EQ(DelayCell(c), 2400u) << c;
    EXPECT_EQ(g_unit.config.OutputDelayRef(c), 50) << c;
  }
  EXPECT_EQ(Run("OUT DLYT 5\r"), "[SUCCESS]Set all output delay time to 5ms.\r\n");
  EXPECT_EQ(Saves(), 5);
  EXPECT_EQ(Saved().tarvo_output_delay[7], 5);

  const std::string error =
      "[ERROR]Output delay time param out of range. Type \"HELP\" for more reference.\r\n";
  for (const char* line : {"OUT 1 DLYT 51\r", "OUT 1 DLYT\r", "OUT 15 DLYT 5\r", "OUT 1 DLYT -1\r",
                           "OUT -1 DLYT 5\r"}) {
    EXPECT_EQ(Run(line), error) << line;
    EXPECT_TRUE(DspLog().empty()) << line;
  }
  EXPECT_EQ(Saves(), 5);
}

TEST_F(LinkGroupTest, OutputGroupMembers) {
  g_unit.config.group_output_stereo2[0] = 1;
  g_unit.config.group_output_stereo3[13] = 1;
  g_unit.config.group_output_stereo4[5] = 1;
  g_unit.config.group_output_vol[0] = 10;
  EXPECT_EQ(Run("OUT GROUP 1 MEMBER 11000000000001\r"),
            "[SUCCESS]Set output group A include analogue output 1,2 USB output right\r\n");
  const int a[kDspChannels] = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  for (int c = 0; c < kDspChannels; ++c)
    EXPECT_EQ(g_unit.config.group_output_stereo1[c], a[c]) << c;
  EXPECT_EQ(g_unit.config.group_output_stereo2[0], 0);
  EXPECT_EQ(g_unit.config.group_output_stereo3[13], 0);
  EXPECT_EQ(g_unit.config.group_output_stereo4[5], 1);  // not a member of A: stays in D
  // Unlinked members keep their level; each gets group A's EQ, eight bands.
  EXPECT_EQ(g_unit.config.analogue_output_vol[0], 50);
  EXPECT_EQ(DspLog(), Log(24, "eq"));
  EXPECT_EQ(Saves(), 1);
  EXPECT_EQ(Saved().group_output_stereo1[13], 1);
}

TEST_F(LinkGroupTest, LinkedPairJoinsWholeAndTakesTheGroupLevel) {
  g_unit.config.analogue_output_stereo[1] = 1;
  g_unit.config.group_output_vol[1] = 30;
  g_unit.config.group_output_mute[1] = 1;
  g_unit.config.analogue_output_vol[3] = 30;
  // Group B plays Custom1: the members' Custom1 bands become the group's.
  g_unit.config.output_preset[15] = 1;
  g_unit.config.output_custom1_date[15].gain[2] = 4.5f;
  g_unit.config.output_custom1_date[15].frequency[2] = 900;
  EXPECT_EQ(Run("OUT GROUP 2 MEMBER 00100000000000\r"),
            "[SUCCESS]Set output group B include analogue output 3,4\r\n");
  EXPECT_EQ(g_unit.config.group_output_stereo2[2], 1);
  EXPECT_EQ(g_unit.config.group_output_stereo2[3], 1);
  EXPECT_EQ(g_unit.config.analogue_output_vol[2], 30);
  EXPECT_EQ(g_unit.config.analogue_output_mute[2], 1);
  EXPECT_EQ(g_unit.config.analogue_output_mute[3], 1);
  Log expected = {"vol 2=30", "mute 2", "mute 3"};  // CH4's volume already matched
  expected.insert(expected.end(), 16, "eq");
  EXPECT_EQ(DspLog(), expected);
  for (int c : {2, 3}) {
    EXPECT_EQ(g_unit.config.output_preset[c], 1);
    EXPECT_EQ(g_unit.config.output_custom1_date[c].frequency[2], 900);
    EXPECT_FLOAT_EQ(g_unit.config.output_custom1_date[c].gain[2], 4.5f);
  }

  EXPECT_EQ(Run("OUT GROUP 01 MEMBER 00000000000000\r"), "[SUCCESS]Set output group A include\r\n");
  EXPECT_EQ(Run("IN GROUP 3 MEMBER 10000000000000\r"),
            "[SUCCESS]Set intput group 3 include analogue input 1\r\n");
  EXPECT_EQ(g_unit.config.group_input_stereo3[0], 1);
  EXPECT_EQ(Run("IN GROUP 4 MEMBER 00001000000111\r"),
            "[SUCCESS]Set intput group 4 include tarvo input 1,8 USB input left,right\r\n");
}

TEST_F(LinkGroupTest, LinkedInputPairTakesGroupGainAndMute) {
  g_unit.config.analogue_input_stereo[0] = 1;
  g_unit.config.group_input_gain[1] = 12;
  g_unit.config.group_input_mute[1] = 0;
  g_unit.config.analogue_input_mute[0] = 1;
  EXPECT_EQ(Run("IN GROUP 2 MEMBER 01000000000000\r"),
            "[SUCCESS]Set intput group 2 include analogue input 1,2\r\n");
  EXPECT_EQ(g_unit.config.analogue_input_gain[0], 12);
  EXPECT_EQ(g_unit.config.analogue_input_gain[1], 12);
  EXPECT_EQ(g_unit.config.analogue_input_mute[0], 0);
  Log log = DspLog();
  log.erase(std::remove(log.begin(), log.end(), "eq"), log.end());
  EXPECT_EQ(log, (Log{"inmute 0", "wait", "range", "gain 0", "inunmute 0", "inmute 1", "wait",
                      "range", "gain 1", "inunmute 1"}));
}

TEST_F(LinkGroupTest, MemberStringsThatAreRefused) {
  const std::string out_error =
      "[ERROR]Output group member param out of range. Type \"HELP\" for more reference.\r\n";
  const std::string in_error =
      "[ERROR]Input group member param out of range. Type \"HELP\" for more reference.\r\n";
  g_unit.config.group_output_stereo1[4] = 1;
  for (const char* line :
       {"OUT GROUP 1 MEMBER 1100000000000\r", "OUT GROUP 1 MEMBER 110000000000011\r",
        "OUT GROUP 1 MEMBER\r", "OUT GROUP 1 MEMBER 11000000000002\r",
        "OUT GROUP 0 MEMBER 11000000000000\r", "OUT GROUP 5 MEMBER 11000000000000\r",
        "OUT GROUP MEMBER 11000000000000\r"}) {
    EXPECT_EQ(Run(line), out_error) << line;
  }
  EXPECT_EQ(Run("IN GROUP 1 MEMBER 1x000000000000\r"), in_error);
  EXPECT_TRUE(DspLog().empty());
  EXPECT_EQ(g_unit.config.group_output_stereo1[4], 1);
  EXPECT_EQ(Saves(), 0);
}

}  // namespace
