#include <cstring>

#include <gtest/gtest.h>

#include "devctl/core/app_config.h"

namespace {

TEST(ParseEqTypeName, ComparesOnlyTheStartOfTheNameWithCase) {
  struct Case {
    const char* name;
    int type;
  } cases[] = {
      {"PARAMETRIC", 0}, {"LOWPASS", 1},     {"HIGHPASS", 2},       {"LOW_SHELF", 3},
      {"HIGH_SHELF", 4}, {"parametric", -1}, {"HIGHPASS_EXTRA", 2}, {"PARAMETRIC2", 0},
      {"", -1},          {"LOW", -1},        {"LOW_SHEL", -1},      {nullptr, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseEqTypeName(c.name), c.type) << (c.name ? c.name : "(null)");
  }
}

TEST(AppConfig, ChannelAccessorsMapDspIndexToFamilyArrays) {
  app_config_s cfg;
  cfg.InputGainRef(0) = 1;
  cfg.InputGainRef(3) = 4;
  cfg.InputGainRef(4) = 5;
  cfg.InputGainRef(11) = 12;
  cfg.InputGainRef(12) = 13;
  cfg.InputGainRef(13) = 14;
  EXPECT_EQ(cfg.analogue_input_gain[0], 1);
  EXPECT_EQ(cfg.analogue_input_gain[3], 4);
  EXPECT_EQ(cfg.tarvo_input_gain[0], 5);
  EXPECT_EQ(cfg.tarvo_input_gain[7], 12);
  EXPECT_EQ(cfg.usb_input_gain[0], 13);
  EXPECT_EQ(cfg.usb_input_gain[1], 14);

  cfg.OutputDelayRef(12) = 7;
  cfg.OutputVolRef(4) = 60;
  cfg.OutputMuteRef(2) = 1;
  cfg.InputMuteRef(13) = 1;
  EXPECT_EQ(cfg.usb_output_delay[0], 7);
  EXPECT_EQ(cfg.tarvo_output_vol[0], 60);
  EXPECT_EQ(cfg.analogue_output_mute[2], 1);
  EXPECT_EQ(cfg.usb_input_mute[1], 1);

  cfg.InputLinkRef(1) = 1;
  cfg.InputLinkRef(2) = 1;
  cfg.InputLinkRef(6) = 1;
  cfg.OutputLinkRef(5) = 1;
  EXPECT_EQ(cfg.analogue_input_stereo[1], 1);
  EXPECT_EQ(cfg.tarvo_input_stereo[0], 1);
  EXPECT_EQ(cfg.usb_input_stereo, 1);
  EXPECT_EQ(cfg.tarvo_output_stereo[3], 1);
}

TEST(AppConfig, AccessorsRefuseIndexesOutsideTheRecord) {
  app_config_s cfg;
  for (int bad : {-1, 14, 1000}) {
    cfg.InputGainRef(bad) = 99;
    cfg.OutputDelayRef(bad) = 99;
    EXPECT_EQ(cfg.InputGainRef(bad), 0) << bad;
  }
  cfg.InputLinkRef(7) = 99;
  EXPECT_EQ(cfg.InputLinkRef(-1), 0);
  EXPECT_EQ(cfg.InputGroupMembers(4), nullptr);
  EXPECT_EQ(cfg.EqMemory(EQ_SIDE_INPUT, 3), nullptr);
  EXPECT_EQ(cfg.EqMemory(2, 0), nullptr);
  // Nothing above landed in a real field.
  EXPECT_EQ(cfg.tarvo_input_gain[0], 0);
  EXPECT_EQ(cfg.usb_input_stereo, 0);
  EXPECT_EQ(cfg.usb_output_delay[1], 0);
}

TEST(AppConfig, GroupAndEqAccessorsPickTheirArrays) {
  app_config_s cfg;
  EXPECT_EQ(cfg.InputGroupMembers(0), cfg.group_input_stereo1);
  EXPECT_EQ(cfg.InputGroupMembers(3), cfg.group_input_stereo4);
  EXPECT_EQ(cfg.OutputGroupMembers(2), cfg.group_output_stereo3);
  EXPECT_EQ(cfg.EqMemory(EQ_SIDE_INPUT, 0), cfg.input_flat_date);
  EXPECT_EQ(cfg.EqMemory(EQ_SIDE_INPUT, 2), cfg.input_custom2_date);
  EXPECT_EQ(cfg.EqMemory(EQ_SIDE_OUTPUT, 1), cfg.output_custom1_date);

  cfg.input_preset[5] = 2;
  EXPECT_EQ(cfg.ActiveEq(EQ_SIDE_INPUT, 5), &cfg.input_custom2_date[5]);
  cfg.output_preset[17] = 1;
  EXPECT_EQ(cfg.ActiveEq(EQ_SIDE_OUTPUT, 17), &cfg.output_custom1_date[17]);
  cfg.input_preset[6] = 7;  // a stored selection out of range plays nothing
  EXPECT_EQ(cfg.ActiveEq(EQ_SIDE_INPUT, 6), nullptr);
  EXPECT_EQ(cfg.ActiveEq(EQ_SIDE_INPUT, 18), nullptr);
}

TEST(AppConfig, NameFieldIsCutAndZeroFilled) {
  char field[kNameSize];
  std::memset(field, 'x', sizeof field);
  SetNameField(field, "0123456789012345678901234567890123456789");
  EXPECT_EQ(std::string(field), "0123456789012345678901234567890");
  SetNameField(field, "ab");
  EXPECT_EQ(std::string(field), "ab");
  for (int i = 2; i < kNameSize; ++i) EXPECT_EQ(field[i], 0) << i;
}

}  // namespace
