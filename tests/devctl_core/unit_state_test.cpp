#include <dirent.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "tests/support/unit_root.h"

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

TEST(UnitState, StaticConstructionLeavesEmptyRecordsAndStartsNoThread) {
  // Each test runs in its own process, so only static construction ran before this line.
  EXPECT_EQ(TaskCount(), 1);

  for (const app_config_s* cfg :
       {&g_unit.config, &g_unit.pending, &g_unit.presets[0], &g_unit.presets[kPresets - 1]}) {
    EXPECT_EQ(cfg->user_cnt, 0u);
    EXPECT_EQ(cfg->model, "");
    EXPECT_EQ(cfg->type, "");
    EXPECT_EQ(cfg->ipaddress, "");
    EXPECT_EQ(cfg->input_name[0][0], 0);
    EXPECT_EQ(cfg->power, 0);
    EXPECT_EQ(cfg->input_flat_date[0].frequency[0], 0);
  }
  EXPECT_EQ(g_unit.net_status.ipaddress, "");
  EXPECT_EQ(g_unit.net_status.dnsserver, "");
  EXPECT_FALSE(g_unit.net_edit_pending);
  EXPECT_EQ(g_unit.config_path, "");
  EXPECT_EQ(g_unit.identity.main_version, "");
  EXPECT_EQ(g_unit.identity.sub_mac, "");
  EXPECT_EQ(sizeof g_unit.presets / sizeof g_unit.presets[0], 8u);
}

// The lock's hold times, as the benchmarks read them: only the outermost hold of a thread is one
// hold, reads and changes alike, and nothing is recorded while timing is off.
using ConfigLockTiming = testsupport::UnitRootFixture;

TEST_F(ConfigLockTiming, OutermostHoldsAreAppendedOneLineEach) {
  const char* file = "/tmp/holds.txt";
  { ConfigLock untimed; }
  SetConfigLockTiming(true);
  {
    ConfigLock outer;
    ConfigReadLock inner;
    ConfigLock innermost;
  }
  { ConfigReadLock read; }
  SetConfigLockTiming(false);
  { ConfigLock untimed_again; }
  ASSERT_TRUE(AppendConfigLockHolds(file));
  std::istringstream lines(Read(file));
  std::vector<std::pair<unsigned long long, unsigned long long>> holds;
  unsigned long long start, held;
  while (lines >> start >> held) holds.emplace_back(start, held);
  ASSERT_EQ(holds.size(), 2u) << Read(file);
  EXPECT_LE(holds[0].first + holds[0].second, holds[1].first);
  const std::string first = Read(file);
  ASSERT_TRUE(AppendConfigLockHolds(file));  // nothing new: the file stays as it was
  EXPECT_EQ(Read(file), first);
}

}  // namespace
