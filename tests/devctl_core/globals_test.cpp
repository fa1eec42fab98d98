#include <dirent.h>

#include <gtest/gtest.h>

#include "devctl/core/globals.h"

namespace {

int TaskCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return -1;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count;
}

TEST(Globals, StaticConstructionLeavesEmptyRecordsAndStartsNoThread) {
  // Each test runs in its own process, so only static construction ran before this line.
  EXPECT_EQ(TaskCount(), 1);

  for (const app_config_s* cfg : {&g_app_config, &g_pending_config, &g_net_status,
                                  &g_preset_configs[0], &g_preset_configs[kPresets - 1]}) {
    EXPECT_EQ(cfg->user_cnt, 0u);
    EXPECT_EQ(cfg->model, "");
    EXPECT_EQ(cfg->type, "");
    EXPECT_EQ(cfg->ipaddress, "");
    EXPECT_EQ(cfg->input_name[0][0], 0);
    EXPECT_EQ(cfg->power, 0);
    EXPECT_EQ(cfg->input_flat_date[0].frequency[0], 0);
  }
  EXPECT_EQ(g_config_path, "");
  EXPECT_EQ(g_device_identity.main_version, "");
  EXPECT_EQ(g_device_identity.sub_mac, "");
  EXPECT_EQ(g_dsp_watcher.thread, nullptr);
  EXPECT_EQ(sizeof g_preset_configs / sizeof g_preset_configs[0], 8u);
}

}  // namespace
