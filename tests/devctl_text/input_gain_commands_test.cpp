#include "devctl/devices/dsp_channels.h"
#include "devctl/text/input_gain_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "devctl/core/config_file.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/dispatcher.h"
#include "tests/support/text_commands.h"

namespace {

class InputGainTest : public testsupport::TextCommandFixture {
 protected:
  void SetUp() override {
    TextCommandFixture::SetUp();
    std::filesystem::create_directories(platform::Path("/oem"));
  }
};

TEST_F(InputGainTest, AnalogueInputGainSequence) {
  g_unit.config.analogue_input_mute[0] = 1;
  g_unit.config.group_input_stereo2[0] = 1;
  EXPECT_EQ(Run("IN 1 GAIN 10\r"), "[SUCCESS]Set analogue input CH1 gain to 10dB.\r\n");
  // Muted, 10 ms, the expander's range code (6..19 dB: 2 in bits 0-1), the gain word by safeload
  // to cell 0x10E, unmuted.
  EXPECT_EQ(HardwareLog(), (std::vector<std::string>{"mute/unmute 0", "wait", "range 18=02",
                                                     "gain 0", "mute/unmute 0"}));
  EXPECT_EQ(g_dsp_input_gain_addr[0], 0x10Eu);
  EXPECT_EQ(DspGainWord(0), DspInputGainWord(0, 10));
  EXPECT_FALSE(DspMuted(0));
  EXPECT_EQ(g_unit.config.analogue_input_mute[0], 0);
  EXPECT_EQ(g_unit.config.group_input_stereo2[0], 0);
  EXPECT_EQ(Saves(), 1);
  const app_config_s saved = Saved();
  EXPECT_EQ(saved.analogue_input_gain[0], 10);
  EXPECT_EQ(saved.analogue_input_mute[0], 0);
}

TEST_F(InputGainTest, SpellingsOfTheSetCommand) {
  for (const char* line : {"in 1 gain 5\r", "IN1GAIN5\r", "In 1 Gain 5\r", "IN 1 GAIN +5\r"}) {
    EXPECT_EQ(Run(line), "[SUCCESS]Set analogue input CH1 gain to 5dB.\r\n") << line;
  }
  EXPECT_EQ(Run("IN 5 GAIN -12\r"), "[SUCCESS]Set tarvo input CH1 gain to -12dB.\r\n");
  EXPECT_EQ(HardwareLog().back(), "gain 4");
  EXPECT_EQ(DspGainWord(4), DspInputGainWord(4, -12));
}

TEST_F(InputGainTest, OutOfRangeChangesNothing) {
  const std::string set_error =
      "[ERROR]Set input gain param out of range. Type \"HELP\" for more reference.\r\n";
  const std::string up_error =
      "[ERROR]Increase input gain param out of range. Type \"HELP\" for more reference.\r\n";
  const std::string down_error =
      "[ERROR]Decrease input gain param out of range. Type \"HELP\" for more reference.\r\n";
  struct Case {
    const char* line;
    const std::string& error;
  } cases[] = {
      {"IN 1 GAIN 31", set_error},
      {"IN 1 GAIN -31", set_error},
      {"IN 19 GAIN 0", set_error},
      {"IN -1 GAIN 0", set_error},
      {"IN 1 GAIN ", set_error},
      {"IN 1 GAIN NAN", set_error},
      {"IN 99999999999 GAIN 1", set_error},
      {"IN 1 GAIN 99999999999", set_error},
      {"IN 1 GAIN+0", up_error},
      {"IN 1 GAIN+11", up_error},
      {"IN 19 GAIN+1", up_error},
      {"IN 1 GAIN-0", down_error},
      {"IN 1 GAIN-11", down_error},
      {"IN -1 GAIN-1", down_error},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(std::string(c.line) + "\r"), c.error) << c.line;
  }
  // Without the blank after GAIN and without a digit the line is no gain command at all.
  EXPECT_EQ(Run("IN 1 GAIN\r"), "[ERROR]Command not found.\r\n");
  EXPECT_EQ(Run("IN1GAINNAN\r"), "[ERROR]Command not found.\r\n");
  EXPECT_TRUE(HardwareLog().empty());
  EXPECT_EQ(Saves(), 0);
  EXPECT_EQ(Run("IN 1 GAIN -30\r"), "[SUCCESS]Set analogue input CH1 gain to -30dB.\r\n");
  EXPECT_EQ(Run("IN 1 GAIN 30\r"), "[SUCCESS]Set analogue input CH1 gain to 30dB.\r\n");
}

TEST_F(InputGainTest, StepsClampAtTheLimits) {
  g_unit.config.analogue_input_gain[0] = 28;
  g_unit.config.tarvo_input_gain[0] = -27;
  g_unit.config.analogue_input_gain[2] = 4;
  EXPECT_EQ(Run("IN 1 GAIN+5\r"), "[SUCCESS]Increase analogue input CH1 gain to 30dB.\r\n");
  EXPECT_EQ(Run("IN 5 GAIN-10\r"), "[SUCCESS]Decrease tarvo input CH1 gain to -30dB.\r\n");
  EXPECT_EQ(Run("IN 3 GAIN+\r"), "[SUCCESS]Increase analogue input CH3 gain to 5dB.\r\n");
  EXPECT_EQ(Run("IN 3 GAIN-\r"), "[SUCCESS]Decrease analogue input CH3 gain to 4dB.\r\n");
  EXPECT_EQ(g_unit.config.analogue_input_gain[0], 30);
  EXPECT_EQ(g_unit.config.tarvo_input_gain[0], -30);
}

TEST_F(InputGainTest, LinkedPairsMoveTogether) {
  g_unit.config.analogue_input_stereo[0] = 1;
  g_unit.config.analogue_input_gain[1] = 5;
  EXPECT_EQ(Run("IN 2 GAIN+3\r"),
            "[SUCCESS]Increase analogue input CH1 gain to 3dB.\r\n"
            "[SUCCESS]Increase analogue input CH2 gain to 8dB.\r\n");
  platform::sim_i2c().ClearTransfers();
  EXPECT_EQ(Run("IN 2 GAIN 10\r"),
            "[SUCCESS]Set analogue input CH1 gain to 10dB.\r\n"
            "[SUCCESS]Set analogue input CH2 gain to 10dB.\r\n");
  const auto log = HardwareLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "wait"), 1);  // one shared wait for the pair
  g_unit.config.usb_input_stereo = 1;
  EXPECT_EQ(Run("IN 14 GAIN-2\r"),
            "[SUCCESS]Decrease USB input left gain to -2dB.\r\n"
            "[SUCCESS]Decrease USB input right gain to -2dB.\r\n");
  EXPECT_EQ(Run("IN 13 GAIN 1\r"),
            "[SUCCESS]Set USB input left gain to 1dB.\r\n"
            "[SUCCESS]Set USB right input gain to 1dB.\r\n");
}

TEST_F(InputGainTest, GroupMembersTakeTheGroupsGain) {
  g_unit.config.group_input_gain[0] = 4;
  g_unit.config.group_input_mute[0] = 1;
  g_unit.config.group_input_stereo1[0] = 1;
  g_unit.config.group_input_stereo1[12] = 1;
  g_unit.config.analogue_input_gain[0] = -9;
  g_unit.config.usb_input_gain[0] = 20;
  g_unit.config.usb_input_mute[0] = 1;
  EXPECT_EQ(Run("IN 15 GAIN+2\r"),
            "[SUCCESS]Increase input group 1 gain 6dB.\r\n"
            "[SUCCESS]Increase analogue input CH1 gain to 6dB.\r\n"
            "[SUCCESS]Increase USB input left gain to 6dB.\r\n");
  EXPECT_EQ(g_unit.config.group_input_gain[0], 6);
  EXPECT_EQ(g_unit.config.group_input_mute[0], 0);
  EXPECT_EQ(g_unit.config.usb_input_gain[0], 6);
  EXPECT_EQ(g_unit.config.usb_input_mute[0], 0);
  EXPECT_FALSE(DspMuted(12));
  EXPECT_EQ(g_unit.config.group_input_stereo1[0], 1);
  EXPECT_EQ(g_unit.config.group_input_stereo1[12], 1);
  EXPECT_EQ(Run("IN 15 GAIN-1\r"),
            "[SUCCESS]Decrease input group 1 gain to 5dB.\r\n"
            "[SUCCESS]Decrease analogue input CH1 gain to 5dB.\r\n"
            "[SUCCESS]Decrease USB input left gain to 5dB.\r\n");
  EXPECT_EQ(Run("IN 15 GAIN 7\r"),
            "[SUCCESS]Set group 1 input gain to 7dB.\r\n"
            "[SUCCESS]Set analogue input CH1 gain to 7dB.\r\n"
            "[SUCCESS]Set USB input left gain to 7dB.\r\n");
  EXPECT_EQ(Run("IN 16 GAIN 2\r"), "[SUCCESS]Set group 2 input gain to 2dB.\r\n");
  // A channel set by its own number leaves its groups.
  EXPECT_EQ(Run("IN 1 GAIN 1\r"), "[SUCCESS]Set analogue input CH1 gain to 1dB.\r\n");
  EXPECT_EQ(g_unit.config.group_input_stereo1[0], 0);
  EXPECT_EQ(g_unit.config.group_input_stereo1[12], 1);
}

TEST_F(InputGainTest, AllInputs) {
  g_unit.config.group_input_stereo3[2] = 1;
  g_unit.config.tarvo_input_mute[3] = 1;
  EXPECT_EQ(Run("IN 0 GAIN 5\r"), "[SUCCESS]Set all input gain to 5dB.\r\n");
  for (int c = 0; c < kDspChannels; ++c) EXPECT_EQ(g_unit.config.InputGainRef(c), 5) << c;
  for (int k = 0; k < kGroups; ++k) EXPECT_EQ(g_unit.config.group_input_gain[k], 5);
  EXPECT_EQ(g_unit.config.tarvo_input_mute[3], 0);
  EXPECT_EQ(g_unit.config.group_input_stereo3[2], 1);
  const auto log = HardwareLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "wait"), 4);  // one per analogue input

  const std::string up = Run("IN 0 GAIN+1\r");
  EXPECT_EQ(Count(up, "\r\n"), 18);
  EXPECT_EQ(Count(up, "[SUCCESS]Increase "), 18);
  EXPECT_NE(up.find("[SUCCESS]Increase USB input right gain to 6dB.\r\n"), std::string::npos);
  EXPECT_NE(up.find("[SUCCESS]Increase input group 4 gain to 6dB.\r\n"), std::string::npos);
  const std::string down = Run("IN GAIN-2\r");  // no channel: all inputs
  EXPECT_EQ(Count(down, "\r\n"), 18);
  EXPECT_NE(down.find("[SUCCESS]Decrease USB input CH1 gain to 4dB.\r\n"
                      "[SUCCESS]Decrease USB input CH2 gain to 4dB.\r\n"
                      "[SUCCESS]Decrease input group 1 gain to 4dB.\r\n"),
            std::string::npos);
  // The raise reads its step in the same scan as the channel: without a channel, one step.
  const std::string one_step = Run("IN GAIN+2\r");
  EXPECT_NE(one_step.find("[SUCCESS]Increase analogue input CH1 gain to 5dB.\r\n"),
            std::string::npos);
}

}  // namespace
