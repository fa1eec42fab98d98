#include "devctl/core/unit_state.h"
#include "devctl/text/mute_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/text_commands.h"

namespace {

using Log = std::vector<std::string>;

class MuteCommandTest : public testsupport::TextCommandFixture {};

const std::string kInputError =
    "[ERROR]Set input mute param out of range. Type \"HELP\" for more reference.\r\n";
const std::string kOutputError =
    "[ERROR]Set output mute param out of range. Type \"HELP\" for more reference.\r\n";

TEST_F(MuteCommandTest, ChannelsAndLinkedPairsLeaveTheirGroups) {
  g_unit.config.group_input_stereo2[0] = 1;
  EXPECT_EQ(Run("IN 1 MUTE ON\r"), "[SUCCESS]Set analogue input CH1 mute on.\r\n");
  EXPECT_EQ(g_unit.config.analogue_input_mute[0], 1);
  EXPECT_TRUE(DspMuted(0));
  EXPECT_EQ(g_unit.config.group_input_stereo2[0], 0);
  EXPECT_EQ(Saves(), 1);
  EXPECT_EQ(Saved().analogue_input_mute[0], 1);

  g_unit.config.analogue_input_stereo[0] = 1;
  EXPECT_EQ(Run("IN 2 MUTE OFF\r"),
            "[SUCCESS]Set analogue input CH1 mute off.\r\n"
            "[SUCCESS]Set analogue input CH2 mute off.\r\n");
  EXPECT_EQ(DspLog(), (Log{"inunmute 0", "inunmute 1"}));

  g_unit.config.analogue_output_stereo[1] = 1;
  g_unit.config.group_output_stereo1[3] = 1;
  EXPECT_EQ(Run("OUT 3 MUTE ON\r"),
            "[SUCCESS]Set analogue output CH3 mute on.\r\n"
            "[SUCCESS]Set analogue output CH4 mute on.\r\n");
  EXPECT_EQ(DspLog(), (Log{"mute 2", "mute 3"}));
  EXPECT_EQ(g_unit.config.analogue_output_mute[1], 0);  // pair (1,2) is not linked
  EXPECT_EQ(g_unit.config.group_output_stereo1[3], 0);

  EXPECT_EQ(Run("OUT 9 MUTE ON\r"), "[SUCCESS]Set tarvo output CH5 mute on.\r\n");
  EXPECT_EQ(Run("IN 14 MUTE ON\r"), "[SUCCESS]Set USB input right mute on.\r\n");
  EXPECT_EQ(Run("OUT 13 MUTE OFF\r"), "[SUCCESS]Set USB output left mute off.\r\n");
  // The volume stays as it was.
  EXPECT_EQ(g_unit.config.analogue_output_vol[2], 50);
}

TEST_F(MuteCommandTest, GroupsMuteTheirMembers) {
  g_unit.config.group_input_stereo1[1] = 1;
  g_unit.config.group_input_stereo1[13] = 1;
  EXPECT_EQ(Run("IN 15 MUTE ON\r"),
            "[SUCCESS]Set input group 1 mute on.\r\n"
            "[SUCCESS]Set analogue input CH2 mute on.\r\n"
            "[SUCCESS]Set USB input right mute on.\r\n");
  EXPECT_EQ(g_unit.config.group_input_mute[0], 1);
  EXPECT_EQ(g_unit.config.analogue_input_mute[1], 1);
  EXPECT_EQ(g_unit.config.usb_input_mute[1], 1);
  EXPECT_EQ(DspLog(), (Log{"inmute 1", "inmute 13"}));
  EXPECT_EQ(g_unit.config.group_input_stereo1[1], 1);

  g_unit.config.group_output_stereo2[6] = 1;
  g_unit.config.group_output_stereo2[12] = 1;
  g_unit.config.group_output_stereo2[13] = 1;
  // A USB member's line has no final period on the output side.
  EXPECT_EQ(Run("OUT 16 MUTE OFF\r"),
            "[SUCCESS]Set output group B mute off.\r\n"
            "[SUCCESS]Set tarvo output CH3 mute off.\r\n"
            "[SUCCESS]Set USB output left mute off\r\n"
            "[SUCCESS]Set USB output right mute off\r\n");
  EXPECT_EQ(DspLog(), (Log{"unmute 6", "unmute 12", "unmute 13"}));
  EXPECT_EQ(Run("OUT 18 MUTE ON\r"), "[SUCCESS]Set output group D mute on.\r\n");
  EXPECT_EQ(g_unit.config.group_output_mute[3], 1);
}

TEST_F(MuteCommandTest, AllChannels) {
  g_unit.config.group_input_stereo3[4] = 1;
  for (int c = 0; c < kDspChannels; ++c) g_unit.config.InputMuteRef(c) = 1;
  for (int g = 0; g < kGroups; ++g) g_unit.config.group_input_mute[g] = 1;
  EXPECT_EQ(Run("IN 0 MUTE OFF\r"), "[SUCCESS]Set all input mute off.\r\n");
  for (int c = 0; c < kDspChannels; ++c) {
    EXPECT_EQ(g_unit.config.InputMuteRef(c), 0) << c;
    EXPECT_FALSE(DspMuted(c)) << c;
  }
  for (int g = 0; g < kGroups; ++g) EXPECT_EQ(g_unit.config.group_input_mute[g], 0);
  EXPECT_EQ(g_unit.config.group_input_stereo3[4], 1);

  // Without a number the output command means all outputs.
  EXPECT_EQ(Run("OUT MUTE ON\r"), "[SUCCESS]Set all output mute on.\r\n");
  for (int c = 0; c < kDspChannels; ++c) EXPECT_TRUE(OutputMutedCell(c)) << c;
  for (int g = 0; g < kGroups; ++g) EXPECT_EQ(g_unit.config.group_output_mute[g], 1);
  EXPECT_EQ(Run("OUT 0 MUTE OFF\r"), "[SUCCESS]Set all output mute off.\r\n");
  EXPECT_EQ(Run("IN 0 MUTE ON\r"), "[SUCCESS]Set all input mute on.\r\n");

  // For all channels the first "MUTE" decides; followed by neither ON nor OFF nothing changes
  // (the unit saves anyway, and the output command answers an empty line).
  const long saves = Saves();
  EXPECT_EQ(Run("OUT 0 MUTEX MUTE ON\r"), "\r\n");
  EXPECT_EQ(Run("IN 0 MUTEX MUTE OFF\r"), "");
  EXPECT_TRUE(DspLog().empty());
  EXPECT_EQ(Saves(), saves + 2);
  EXPECT_EQ(g_unit.config.analogue_input_mute[0], 1);
}

TEST_F(MuteCommandTest, BadChannelNumbers) {
  const struct {
    const char* line;
    const std::string& error;
  } cases[] = {
      {"IN MUTE ON", kInputError},      {"IN 19 MUTE ON", kInputError},
      {"IN -1 MUTE OFF", kInputError},  {"OUT 19 MUTE ON", kOutputError},
      {"OUT -2 MUTE ON", kOutputError},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(std::string(c.line) + "\r"), c.error) << c.line;
    EXPECT_TRUE(DspLog().empty()) << c.line;
  }
  EXPECT_EQ(Saves(), 0);
}

}  // namespace
