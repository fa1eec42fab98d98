#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/pending_network.h"
#include "devctl/core/unit_state.h"
#include "tests/support/unit_root.h"

namespace {

using PendingNetwork = testsupport::UnitRootFixture;

TEST_F(PendingNetwork, MergedSaveKeepsLiveChangesAndTheEdit) {
  ResetAppConfig("", &g_unit.config, "");
  g_unit.pending = g_unit.config;
  g_unit.config.analogue_input_gain[2] = 7;  // a change made meanwhile on another path
  g_unit.config.tcpport = 9000;
  g_unit.pending.dhcp = 0;
  g_unit.pending.ipaddress = "10.1.2.3";
  g_unit.pending.hostname = "studio";
  g_unit.pending.tcpport = 8000;  // stale in the pending copy

  ASSERT_TRUE(SavePendingNetworkEdit(kConfigFile));
  EXPECT_EQ(g_unit.config.ipaddress, "192.168.0.200");  // the live record is untouched

  app_config_s loaded;
  LoadAppConfigFile("", kConfigFile, &loaded, "", loaded.type);
  EXPECT_EQ(loaded.analogue_input_gain[2], 7);
  EXPECT_EQ(loaded.tcpport, 9000);
  EXPECT_EQ(loaded.dhcp, 0);
  EXPECT_EQ(loaded.ipaddress, "10.1.2.3");
  EXPECT_EQ(loaded.hostname, "studio");
  EXPECT_EQ(loaded.gateway, "192.168.0.1");
}

}  // namespace
