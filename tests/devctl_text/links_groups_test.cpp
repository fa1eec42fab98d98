#include "devctl/core/links_groups.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "tests/support/sim_unit.h"

namespace {

class LinksGroupsTest : public testsupport::SimUnitFixture {
 protected:
  // Outputs whose source cell was written, in order.
  std::vector<int> SourceWrites() {
    std::vector<int> outs;
    for (const auto& t : platform::sim_i2c().Transfers()) {
      if (t.read || t.bus != sim::Board::kDspBus || t.bytes.size() < 6) continue;
      if (((unsigned(t.bytes[0]) << 8) | t.bytes[1]) != sim::SimDsp::kSafeloadTarget) continue;
      const uint32_t target = (uint32_t(t.bytes[2]) << 24) | (uint32_t(t.bytes[3]) << 16) |
                              (uint32_t(t.bytes[4]) << 8) | t.bytes[5];
      for (int o = 0; o < kDspChannels; ++o) {
        if (target == g_dsp_output_source_addr[o]) outs.push_back(o);
      }
    }
    return outs;
  }
};

TEST_F(LinksGroupsTest, LinkingAnInputPairClearsRoutesThatAreNotStraight) {
  struct Case {
    int a, b, linked;
    int want_a, want_b;
    std::vector<int> writes;
  } cases[] = {
      {1, 2, 1, 1, 2, {}},  {2, 1, 1, 0, 0, {0, 1}}, {1, 5, 1, 0, 5, {0}},
      {0, 2, 1, 0, 0, {1}}, {5, 6, 1, 5, 6, {}},     {2, 1, 0, 2, 1, {}},
  };
  for (const auto& c : cases) {
    g_unit.config.analogue_output_stereo[0] = 1;
    g_unit.config.control[0] = c.a;
    g_unit.config.control[1] = c.b;
    platform::sim_i2c().ClearTransfers();
    FixRoutesForInputLink(g_unit.config, 0, c.linked);
    EXPECT_EQ(g_unit.config.control[0], c.want_a) << c.a << "," << c.b;
    EXPECT_EQ(g_unit.config.control[1], c.want_b) << c.a << "," << c.b;
    EXPECT_EQ(SourceWrites(), c.writes) << c.a << "," << c.b;
  }
  // Unlinked output pairs are left alone.
  g_unit.config.analogue_output_stereo[0] = 0;
  g_unit.config.control[0] = 2;
  FixRoutesForInputLink(g_unit.config, 0, 1);
  EXPECT_EQ(g_unit.config.control[0], 2);
  FixRoutesForInputLink(g_unit.config, 7, 1);  // no such pair: nothing
}

TEST_F(LinksGroupsTest, LinkingAnOutputPairChecksEveryLinkedInputPair) {
  g_unit.config.analogue_input_stereo[0] = 1;
  g_unit.config.tarvo_input_stereo[1] = 1;  // inputs 7, 8
  g_unit.config.control[12] = 1;
  g_unit.config.control[13] = 8;
  FixRoutesForOutputLink(g_unit.config, 6, 1);
  EXPECT_EQ(g_unit.config.control[12], 0);
  EXPECT_EQ(g_unit.config.control[13], 0);
  EXPECT_EQ(SourceWrites(), (std::vector<int>{12, 13}));
}

TEST(LinksGroupsRecord, RemovingAnOutputFromGroupsTouchesOnlyItsEntries) {
  app_config_s config;
  for (int g = 0; g < kGroups; ++g) {
    for (int c = 0; c < kDspChannels; ++c) config.OutputGroupMembers(g)[c] = 1;
  }
  app_config_s before = config;
  RemoveOutputFromGroups(config, 4);
  for (int g = 0; g < kGroups; ++g) {
    before.OutputGroupMembers(g)[4] = 0;
    for (int c = 0; c < kDspChannels; ++c) {
      EXPECT_EQ(config.OutputGroupMembers(g)[c], before.OutputGroupMembers(g)[c]);
    }
  }
  RemoveOutputFromGroups(config, 14);  // out of range: nothing
  for (int g = 0; g < kGroups; ++g) {
    for (int c = 0; c < kDspChannels; ++c) {
      EXPECT_EQ(config.OutputGroupMembers(g)[c], before.OutputGroupMembers(g)[c]);
    }
  }
}

TEST(LinksGroupsRecord, InOutPairsLinked) {
  app_config_s config;
  config.analogue_input_stereo[0] = 1;
  config.usb_output_stereo = 1;
  EXPECT_EQ(AreInOutPairsLinked(config, 0, 1), 0);
  EXPECT_EQ(AreInOutPairsLinked(config, 1, 15), 0);
  EXPECT_EQ(AreInOutPairsLinked(config, 1, 14), 1);
  EXPECT_EQ(AreInOutPairsLinked(config, 2, 13), 1);
  EXPECT_EQ(AreInOutPairsLinked(config, 3, 14), 0);
  EXPECT_EQ(AreInOutPairsLinked(config, 2, 3), 0);
  EXPECT_EQ(IsInputPairLinked(config, 2), 1);
  EXPECT_EQ(IsOutputPairLinked(config, 1), 0);
}

TEST(LinksGroupsRecord, LinkedChannelsFollowEachSidesLinks) {
  app_config_s config;
  config.analogue_input_stereo[1] = 1;  // inputs 3/4
  config.usb_output_stereo = 1;         // outputs 13/14
  EXPECT_EQ(LinkedChannels(config, EQ_SIDE_INPUT, 3), (std::pair<int, int>{2, 3}));
  EXPECT_EQ(LinkedChannels(config, EQ_SIDE_INPUT, 12), (std::pair<int, int>{12, -1}));
  EXPECT_EQ(LinkedChannels(config, EQ_SIDE_OUTPUT, 12), (std::pair<int, int>{12, 13}));
  EXPECT_EQ(LinkedChannels(config, EQ_SIDE_OUTPUT, 2), (std::pair<int, int>{2, -1}));
}

}  // namespace
