#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/command.h"
#include "platform/paths.h"
#include "platform/storage.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class TempRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/platform_test.XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    root_ = templ;
    platform::SetRoot(root_);
  }
  void TearDown() override {
    platform::SetRoot("");
    std::string cmd = "rm -rf '" + root_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string root_;
};

TEST_F(TempRoot, PathsArePlacedUnderTheRoot) {
  EXPECT_EQ(platform::Path("/oem/app.json"), root_ + "/oem/app.json");
  EXPECT_EQ(platform::Path("relative/file"), "relative/file");
  platform::SetRoot(root_ + "///");
  EXPECT_EQ(platform::Path("/tmp/reboot"), root_ + "/tmp/reboot");
}

TEST_F(TempRoot, AtomicWriteReplacesWholeFileOrNothing) {
  std::string target = platform::Path("/oem/app.json");
  ASSERT_TRUE(platform::MakeParentDirs(target));
  ASSERT_TRUE(platform::WriteFileAtomic(target, "first version\n"));
  EXPECT_EQ(ReadFile(target), "first version\n");

  platform::FailWritesAfter(5);
  EXPECT_FALSE(platform::WriteFileAtomic(target, "second, longer version\n"));
  platform::FailWritesAfter(-1);
  EXPECT_EQ(ReadFile(target), "first version\n");

  // No temporary file is left behind after the failure.
  EXPECT_EQ(std::system(("test $(ls '" + root_ + "/oem' | wc -l) -eq 1").c_str()), 0);
}

TEST_F(TempRoot, AtomicWriteFailsWhenFolderIsMissing) {
  EXPECT_FALSE(platform::WriteFileAtomic(platform::Path("/missing/dir/file"), "x"));
}

TEST_F(TempRoot, StaleTemporariesOfOneFileAreRemoved) {
  std::string target = platform::Path("/oem/app.json");
  ASSERT_TRUE(platform::MakeParentDirs(target));
  for (const char* name : {"app.json", "app.json.tmp.12.0", "app.json.tmp.99.7", "app.json.bad",
                           "app_preset1.json.tmp.12.0", "other.tmp.1.1"}) {
    std::ofstream(root_ + "/oem/" + name) << "x";
  }
  platform::RemoveStaleTemporaries(target);
  std::set<std::string> left;
  DIR* dir = opendir((root_ + "/oem").c_str());
  ASSERT_NE(dir, nullptr);
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') left.insert(entry->d_name);
  }
  closedir(dir);
  EXPECT_EQ(left, (std::set<std::string>{"app.json", "app.json.bad", "app_preset1.json.tmp.12.0",
                                         "other.tmp.1.1"}));
}

TEST(Clock, FakeClockMovesOnlyWhenSleptOn) {
  platform::FakeClock fake;
  platform::SetClock(&fake);
  int64_t start = platform::NowMs();
  platform::SleepMs(15000);
  EXPECT_EQ(platform::NowMs() - start, 15000);
  fake.Advance(500000);
  EXPECT_EQ(platform::NowMs() - start, 15500);
  EXPECT_EQ(fake.SleptUs(), 15000000);
  platform::SetClock(nullptr);
}

TEST(Commands, RecorderAnswersFromLongestMatchingPrefix) {
  platform::RecordingCommandRunner runner;
  platform::SetCommandRunner(&runner);
  runner.SetReply("cat", 1, "short");
  runner.SetReply("cat /tmp/mcu", 0, "V1.2");
  std::string out;
  EXPECT_EQ(platform::RunCommand("cat /tmp/mcu_version", &out), 0);
  EXPECT_EQ(out, "V1.2");
  EXPECT_EQ(platform::RunCommand("reboot"), 0);
  EXPECT_EQ(runner.Commands(), (std::vector<std::string>{"cat /tmp/mcu_version", "reboot"}));
  platform::SetCommandRunner(nullptr);
}

}  // namespace
