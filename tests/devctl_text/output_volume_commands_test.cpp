#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/text/output_volume_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/text_commands.h"

namespace {

using Log = std::vector<std::string>;

class OutputVolumeTest : public testsupport::TextCommandFixture {};

const std::string kSetError =
    "[ERROR]Set output volume param out of range. Type \"HELP\" for more reference.\r\n";
const std::string kUpError =
    "[ERROR]Increase output volume param out of range. Type \"HELP\" for more reference.\r\n";
const std::string kDownError =
    "[ERROR]Decrease output volume param out of range. Type \"HELP\" for more reference.\r\n";

TEST_F(OutputVolumeTest, SingleChannelLeavesGroupsAndMuteFollows) {
  g_unit.config.group_output_stereo2[0] = 1;
  g_unit.config.analogue_output_mute[0] = 1;  // muted by a mute command
  EXPECT_EQ(Run("OUT 1 VOL 40\r"), "[SUCCESS]Set analogue output CH1 volume to 40.\r\n");
  EXPECT_EQ(DspLog(), (Log{"vol 0=40", "unmute 0"}));
  EXPECT_EQ(VolumeCell(0), DspOutputVolumeWord(40));
  EXPECT_FALSE(OutputMutedCell(0));
  EXPECT_EQ(g_unit.config.group_output_stereo2[0], 0);
  EXPECT_EQ(Saves(), 1);
  EXPECT_EQ(Saved().analogue_output_vol[0], 40);

  EXPECT_EQ(Run("OUT 1 VOL 0\r"), "[SUCCESS]Set analogue output CH1 volume to 0.\r\n");
  EXPECT_EQ(DspLog(), (Log{"vol 0=0", "mute 0"}));
  EXPECT_EQ(g_unit.config.analogue_output_mute[0], 1);
  // The same value again still writes the volume; the mute flag does not change, so no mute.
  EXPECT_EQ(Run("OUT 1 VOL 0\r"), "[SUCCESS]Set analogue output CH1 volume to 0.\r\n");
  EXPECT_EQ(DspLog(), (Log{"vol 0=0"}));

  EXPECT_EQ(Run("OUT 6 VOL 100\r"), "[SUCCESS]Set tarvo output CH2 volume to 100.\r\n");
  EXPECT_EQ(VolumeCell(5), DspOutputVolumeWord(100));
  EXPECT_EQ(Run("OUT 14 VOL 7\r"), "[SUCCESS]Set USB output right volume to 7.\r\n");
  EXPECT_EQ(g_unit.config.usb_output_vol[1], 7);
}

TEST_F(OutputVolumeTest, LinkedPairs) {
  g_unit.config.analogue_output_stereo[1] = 1;
  g_unit.config.group_output_stereo1[2] = 1;
  g_unit.config.group_output_stereo3[3] = 1;
  EXPECT_EQ(Run("OUT 4 VOL 30\r"),
            "[SUCCESS]Set analogue output CH3 volume to 30.\r\n"
            "[SUCCESS]Set analogue output CH4 volume to 30.\r\n");
  EXPECT_EQ(g_unit.config.group_output_stereo1[2], 0);
  EXPECT_EQ(g_unit.config.group_output_stereo3[3], 0);

  g_unit.config.analogue_output_vol[2] = 98;
  g_unit.config.analogue_output_vol[3] = 40;
  EXPECT_EQ(Run("OUT 4 VOL+5\r"),
            "[SUCCESS]Increase analogue output CH3 volume to 100.\r\n"
            "[SUCCESS]Increase analogue output CH4 volume to 45.\r\n");
  EXPECT_EQ(VolumeCell(2), DspOutputVolumeWord(100));
  EXPECT_EQ(VolumeCell(3), DspOutputVolumeWord(45));

  // Lowering writes the changed mute ahead of the volume.
  g_unit.config.usb_output_stereo = 1;
  g_unit.config.usb_output_vol[0] = 3;
  g_unit.config.usb_output_vol[1] = 9;
  EXPECT_EQ(Run("OUT 13 VOL-4\r"),
            "[SUCCESS]Decrease USB output left volume to 0.\r\n"
            "[SUCCESS]Decrease USB output right volume to 5.\r\n");
  EXPECT_EQ(DspLog(), (Log{"mute 12", "vol 12=0", "vol 13=5"}));
}

TEST_F(OutputVolumeTest, GroupMembersFollowTheirGroup) {
  g_unit.config.group_output_stereo1[0] = 1;
  g_unit.config.group_output_stereo1[13] = 1;
  EXPECT_EQ(Run("OUT 15 VOL 60\r"),
            "[SUCCESS]Set output group A volume to 60.\r\n"
            "[SUCCESS]Set analogue output CH1 volume to 60.\r\n"
            "[SUCCESS]Set USB output right volume to 60.\r\n");
  EXPECT_EQ(g_unit.config.group_output_vol[0], 60);
  EXPECT_EQ(g_unit.config.group_output_stereo1[0], 1);
  EXPECT_EQ(g_unit.config.group_output_stereo1[13], 1);

  g_unit.config.group_output_vol[1] = 5;
  g_unit.config.group_output_stereo2[1] = 1;
  g_unit.config.analogue_output_vol[1] = 80;
  EXPECT_EQ(Run("OUT 16 VOL-10\r"),
            "[SUCCESS]Decrease output group B volume to 0.\r\n"
            "[SUCCESS]Decrease analogue output CH2 volume to 0.\r\n");
  EXPECT_EQ(g_unit.config.group_output_mute[1], 1);
  EXPECT_EQ(g_unit.config.analogue_output_mute[1], 1);
  EXPECT_EQ(DspLog(), (Log{"vol 1=0", "mute 1"}));

  // The set command's member loop writes a changed mute first.
  EXPECT_EQ(Run("OUT 16 VOL 20\r"),
            "[SUCCESS]Set output group B volume to 20.\r\n"
            "[SUCCESS]Set analogue output CH2 volume to 20.\r\n");
  EXPECT_EQ(DspLog(), (Log{"unmute 1", "vol 1=20"}));
  EXPECT_EQ(g_unit.config.group_output_mute[1], 0);
  EXPECT_EQ(Run("OUT 17 VOL 0\r"), "[SUCCESS]Set output group C volume to 0.\r\n");
  EXPECT_EQ(g_unit.config.group_output_mute[2], 1);
}

TEST_F(OutputVolumeTest, AllOutputs) {
  g_unit.config.group_output_stereo4[5] = 1;
  EXPECT_EQ(Run("OUT 0 VOL 0\r"), "[SUCCESS]Set all output volume to 0.\r\n");
  for (int c = 0; c < kDspChannels; ++c) {
    EXPECT_EQ(g_unit.config.OutputVolRef(c), 0) << c;
    EXPECT_EQ(g_unit.config.OutputMuteRef(c), 1) << c;
    EXPECT_TRUE(OutputMutedCell(c)) << c;
  }
  for (int g = 0; g < kGroups; ++g) {
    EXPECT_EQ(g_unit.config.group_output_vol[g], 0);
    EXPECT_EQ(g_unit.config.group_output_mute[g], 1);
  }
  EXPECT_EQ(g_unit.config.group_output_stereo4[5], 1);

  g_unit.config.group_output_vol[2] = 9;
  g_unit.config.analogue_output_vol[0] = 2;
  const std::string down = Run("OUT 0 VOL-3\r");
  EXPECT_EQ(Count(down, "\r\n"), 18);
  EXPECT_EQ(down.substr(0, down.find("\r\n") + 2),
            "[SUCCESS]Decrease analogue output CH1 volume to 0.\r\n");
  EXPECT_NE(down.find("[SUCCESS]Decrease tarvo output CH8 volume to 0.\r\n"
                      "[SUCCESS]Decrease USB output CH1 volume to 0.\r\n"
                      "[SUCCESS]Decrease USB output CH2 volume to 0.\r\n"
                      "[SUCCESS]Decrease output group A volume to 0.\r\n"
                      "[SUCCESS]Decrease output group B volume to 0.\r\n"
                      "[SUCCESS]Decrease output group C volume to 6.\r\n"),
            std::string::npos);

  // Without a channel number: all outputs. The raise then reads no step (one step); the lower
  // reads its step after "VOL-".
  const std::string up = Run("OUT VOL+5\r");
  EXPECT_EQ(Count(up, "[SUCCESS]Increase "), 18);
  EXPECT_NE(up.find("[SUCCESS]Increase analogue output CH1 volume to 1.\r\n"), std::string::npos);
  EXPECT_NE(up.find("[SUCCESS]Increase output group C volume to 7.\r\n"), std::string::npos);
  const std::string lower = Run("OUT VOL-5\r");
  EXPECT_NE(lower.find("[SUCCESS]Decrease output group C volume to 2.\r\n"), std::string::npos);
}

TEST_F(OutputVolumeTest, OutOfRangeAndMissingValuesChangeNothing) {
  g_unit.config.group_output_stereo1[0] = 1;
  struct Case {
    const char* line;
    const std::string& error;
  } cases[] = {
      // A missing volume is refused: "OUT 1 VOL" would otherwise mute output 1, and "OUT VOL 50"
      // (the scan stops at the missing channel) every output.
      {"OUT 1 VOL", kSetError},
      {"OUT VOL 50", kSetError},
      {"OUT 1 VOL 101", kSetError},
      {"OUT 19 VOL 5", kSetError},
      {"OUT -1 VOL 5", kSetError},
      {"OUT 1 VOL X", kSetError},
      {"OUT 99999999999 VOL 5", kSetError},
      {"OUT 1 VOL+0", kUpError},
      {"OUT 1 VOL+11", kUpError},
      {"OUT 19 VOL+1", kUpError},
      {"OUT 1 VOL-0", kDownError},
      {"OUT 1 VOL-11", kDownError},
      {"OUT -1 VOL-1", kDownError},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(std::string(c.line) + "\r"), c.error) << c.line;
    EXPECT_TRUE(DspLog().empty()) << c.line;
  }
  EXPECT_EQ(Saves(), 0);
  EXPECT_EQ(g_unit.config.analogue_output_vol[0], 50);
  EXPECT_EQ(g_unit.config.analogue_output_mute[0], 0);
  EXPECT_EQ(g_unit.config.group_output_stereo1[0], 1);
}

TEST_F(OutputVolumeTest, SignedValuesPickTheStepCommands) {
  EXPECT_EQ(Run("OUT 1 VOL -5\r"), "[SUCCESS]Decrease analogue output CH1 volume to 45.\r\n");
  EXPECT_EQ(Run("OUT 1 VOL +5\r"), "[SUCCESS]Increase analogue output CH1 volume to 50.\r\n");
  EXPECT_EQ(Run("OUT 1 VOL+\r"), "[SUCCESS]Increase analogue output CH1 volume to 51.\r\n");
  EXPECT_EQ(Run("OUT 1 VOL+X\r"), "[SUCCESS]Increase analogue output CH1 volume to 52.\r\n");
  EXPECT_EQ(Run("out 01 vol 007\r"), "[SUCCESS]Set analogue output CH1 volume to 7.\r\n");
}

}  // namespace
