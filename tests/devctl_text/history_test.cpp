#include "devctl/text/history.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override { HistoryInit(); }
  void TearDown() override { HistoryInit(); }
  static void Add(const std::string& s) { HistoryAdd(s.data(), static_cast<int>(s.size())); }
  static std::string Older() {
    char buf[64];
    return std::string(buf, HistoryOlder(buf, sizeof buf));
  }
  static std::string Newer() {
    char buf[64];
    return std::string(buf, HistoryNewer(buf, sizeof buf));
  }
};

TEST_F(HistoryTest, KeepsTheNewestHundredLines) {
  for (int i = 1; i <= 102; ++i) Add("L" + std::to_string(i));
  EXPECT_EQ(HistoryCount(), 100);
  EXPECT_EQ(Older(), "L102");
  EXPECT_EQ(Older(), "L101");
  for (int i = 0; i < 200; ++i) Older();
  EXPECT_EQ(Older(), "L3");  // the oldest kept; further Up stays there
  EXPECT_EQ(Newer(), "L4");
}

TEST_F(HistoryTest, UpUpDownAndLeavingTheRecall) {
  EXPECT_EQ(HistoryOlder(nullptr, 0), 0);  // empty history
  EXPECT_EQ(Newer(), "");
  Add("A");
  Add("B");
  Add("C");
  EXPECT_EQ(Older(), "C");
  EXPECT_EQ(Older(), "B");
  EXPECT_EQ(Newer(), "C");
  EXPECT_EQ(Newer(), "");
  EXPECT_EQ(Older(), "C");
  HistoryResetCursor();
  EXPECT_EQ(Older(), "C");
}

TEST_F(HistoryTest, RecallIsCutAtTheCallersBuffer) {
  Add(std::string(2000, 'x'));
  std::vector<char> out(1024);
  EXPECT_EQ(HistoryOlder(out.data(), 1024), 1024);
}

TEST_F(HistoryTest, ConcurrentPortsNeverReadPastTheEntries) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([t] {
      char buf[32];
      for (int i = 0; i < 20000; ++i) {
        switch ((i + t) % 4) {
          case 0:
            HistoryAdd("line", 4);
            break;
          case 1:
            EXPECT_LE(HistoryOlder(buf, sizeof buf), 4);
            break;
          case 2:
            EXPECT_LE(HistoryNewer(buf, sizeof buf), 4);
            break;
          case 3:
            HistoryResetCursor();
            break;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(HistoryCount(), 100);
}

}  // namespace
