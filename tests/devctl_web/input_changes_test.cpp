// Input gain and mute changes shared by the text and web commands, on the simulated board.
#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/input_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/io_expander.h"
#include "tests/support/sim_unit.h"

namespace {

class InputChangesTest : public testsupport::SimUnitFixture {};

TEST_F(InputChangesTest, LinkedAnaloguePairFromEitherChannel) {
  g_unit.config.analogue_input_stereo[0] = 1;
  g_unit.config.group_input_stereo1[0] = 1;
  g_unit.config.group_input_stereo4[1] = 1;
  std::vector<std::string> logs[2];
  for (int c : {0, 1}) {
    IoExpResetShadows();
    platform::sim_i2c().ClearTransfers();
    std::string lines;
    SetInputChannelGain(g_unit.config, c, 20, lines);
    logs[c] = HardwareLog();
    EXPECT_EQ(lines,
              "[SUCCESS]Set analogue input CH1 gain to 20dB.\r\n"
              "[SUCCESS]Set analogue input CH2 gain to 20dB.\r\n");
  }
  EXPECT_EQ(logs[0], logs[1]);
  // Muted together, one wait, range and gain each, unmuted each.
  EXPECT_EQ(logs[0], (std::vector<std::string>{"mute/unmute 0", "mute/unmute 1", "wait",
                                               "range 18=03", "gain 0", "range 18=0f", "gain 1",
                                               "mute/unmute 0", "mute/unmute 1"}));
  EXPECT_EQ(g_unit.config.group_input_stereo1[0], 0);
  EXPECT_EQ(g_unit.config.group_input_stereo4[1], 0);
  EXPECT_FALSE(DspMuted(0));
  EXPECT_FALSE(DspMuted(1));
  EXPECT_EQ(DspGainWord(1), DspInputGainWord(1, 20));

  g_unit.config.analogue_input_stereo[0] = 0;
  std::string lines;
  SetInputChannelGain(g_unit.config, 1, -3, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set analogue input CH2 gain to -3dB.\r\n");
  EXPECT_EQ(g_unit.config.analogue_input_gain[0], 20);
  EXPECT_EQ(g_unit.config.analogue_input_gain[1], -3);
}

TEST_F(InputChangesTest, GainUnmutesTheChannelsItSets) {
  struct Case {
    int c;
    int pair_linked;
    std::vector<int> changed;
    std::string lines;
  } cases[] = {
      {2, 0, {2}, "[SUCCESS]Set analogue input CH3 gain to 7dB.\r\n"},
      {11, 0, {11}, "[SUCCESS]Set tarvo input CH8 gain to 7dB.\r\n"},
      {7,
       1,
       {6, 7},
       "[SUCCESS]Set tarvo input CH3 gain to 7dB.\r\n[SUCCESS]Set tarvo input CH4 gain to "
       "7dB.\r\n"},
      {13, 0, {13}, "[SUCCESS]Set USB input right gain to 7dB.\r\n"},
      {13,
       1,
       {12, 13},
       "[SUCCESS]Set USB input left gain to 7dB.\r\n[SUCCESS]Set USB right input gain to 7dB.\r\n"},
  };
  for (const auto& c : cases) {
    ResetAppConfig("/oem/app.json", &g_unit.config, "02:00:00:00:00:01");
    g_unit.config.InputLinkRef(c.c / 2) = c.pair_linked;
    for (int k = 0; k < kDspChannels; ++k) {
      g_unit.config.InputMuteRef(k) = 1;
      DspSetInputMute(k, true);
    }
    std::string lines;
    SetInputChannelGain(g_unit.config, c.c, 7, lines);
    EXPECT_EQ(lines, c.lines) << c.c;
    for (int k = 0; k < kDspChannels; ++k) {
      bool changed = std::find(c.changed.begin(), c.changed.end(), k) != c.changed.end();
      EXPECT_EQ(g_unit.config.InputGainRef(k), changed ? 7 : 0) << c.c << " " << k;
      EXPECT_EQ(g_unit.config.InputMuteRef(k), changed ? 0 : 1) << c.c << " " << k;
      EXPECT_EQ(DspMuted(k), !changed) << c.c << " " << k;
      if (changed) {
        EXPECT_EQ(DspGainWord(k), DspInputGainWord(k, 7)) << k;
      }
    }
  }
  // A Tarvo channel that was not muted is not written unmuted.
  g_unit.config.InputMuteRef(9) = 0;
  platform::sim_i2c().ClearTransfers();
  std::string lines;
  SetInputChannelGain(g_unit.config, 9, 1, lines);
  EXPECT_EQ(HardwareLog(), (std::vector<std::string>{"gain 9"}));
}

TEST_F(InputChangesTest, MuteOfChannelsPairsAndGroups) {
  g_unit.config.tarvo_input_stereo[1] = 1;
  g_unit.config.group_input_stereo1[6] = 1;
  g_unit.config.group_input_stereo4[7] = 1;
  std::string lines;
  SetInputChannelMute(g_unit.config, 7, 1, lines);
  EXPECT_EQ(lines,
            "[SUCCESS]Set tarvo input CH3 mute on.\r\n[SUCCESS]Set tarvo input CH4 mute on.\r\n");
  EXPECT_EQ(HardwareLog(), (std::vector<std::string>{"mute/unmute 6", "mute/unmute 7"}));
  EXPECT_TRUE(DspMuted(6));
  EXPECT_TRUE(DspMuted(7));
  EXPECT_EQ(g_unit.config.group_input_stereo1[6], 0);
  EXPECT_EQ(g_unit.config.group_input_stereo4[7], 0);

  for (int k : {3, 13}) g_unit.config.group_input_stereo2[k] = 1;
  lines.clear();
  SetInputGroupMute(g_unit.config, 1, 1, lines);
  EXPECT_EQ(lines,
            "[SUCCESS]Set input group 2 mute on.\r\n[SUCCESS]Set analogue input CH4 mute on.\r\n"
            "[SUCCESS]Set USB input right mute on.\r\n");
  EXPECT_EQ(g_unit.config.group_input_mute[1], 1);
  EXPECT_EQ(g_unit.config.analogue_input_mute[3], 1);
  EXPECT_EQ(g_unit.config.usb_input_mute[1], 1);
  EXPECT_EQ(g_unit.config.group_input_stereo2[3], 1);
  EXPECT_EQ(g_unit.config.group_input_stereo2[13], 1);
  EXPECT_TRUE(DspMuted(3));
  EXPECT_TRUE(DspMuted(13));

  lines.clear();
  SetInputChannelMute(g_unit.config, 12, 0, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set USB input left mute off.\r\n");
}

TEST_F(InputChangesTest, IndexesOutOfRangeChangeNothing) {
  const app_config_s before = g_unit.config;
  std::string lines;
  for (int c : {-1, 14, 1000}) {
    SetInputChannelGain(g_unit.config, c, 5, lines);
    SetInputChannelMute(g_unit.config, c, 1, lines);
    RemoveInputFromGroups(g_unit.config, c);
  }
  SetInputGroupMute(g_unit.config, 4, 1, lines);
  SetInputGroupMute(g_unit.config, -1, 1, lines);
  EXPECT_EQ(lines, "");
  EXPECT_TRUE(HardwareLog().empty());
  EXPECT_EQ(g_unit.config.group_input_mute[3], before.group_input_mute[3]);
}

}  // namespace
