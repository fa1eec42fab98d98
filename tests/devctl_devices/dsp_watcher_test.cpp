#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_watcher.h"
#include "devctl/devices/gpio.h"
#include "tests/support/sim_unit.h"

namespace {

class DspWatcherTest : public testsupport::SimUnitFixture {
 protected:
  DspWatcherTest() : SimUnitFixture(Drivers()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    GpioCloseAll();
  }
  void TearDown() override {
    GpioCloseAll();
    SimUnitFixture::TearDown();
  }
  void Guards(int level) {
    for (int line : {134, 135, 0, 1}) fs().SetInput(line, level);
  }
};

TEST_F(DspWatcherTest, BuiltObjectNeverStartsAndStopsHarmlessly) {
  EXPECT_EQ(UnitDspWatcher().thread, nullptr);
  EXPECT_EQ(UnitDspWatcher().running.load(), 0);
  CDsp local;
  local.Stop();
  local.Stop();
  EXPECT_EQ(local.thread, nullptr);
  EXPECT_TRUE(fs().Lines().empty()) << "constructing touches no line";
}

TEST_F(DspWatcherTest, InitOpensItsLinesAndDrivesTwoHigh) {
  CDsp w;
  w.Init("a-rather-long-watcher-name");
  for (int line : {134, 135, 0, 1, 32}) EXPECT_FALSE(fs().IsOutput(line)) << line;
  EXPECT_EQ(fs().Level(18), 1);
  EXPECT_EQ(fs().Level(35), 1);
  EXPECT_TRUE(fs().IsOutput(33));
  EXPECT_EQ(w.name, "a-rather-long-watcher-name");
}

TEST_F(DspWatcherTest, PassesReportOnlyChangesByMode) {
  CDsp w;
  w.Init("watcher");
  std::vector<int> reports;
  w.on_state = [&](int s) { reports.push_back(s); };
  Guards(1);
  fs().SetInput(32, 1);

  w.SetMode(1);
  w.Begin();  // mode 1 against GPIO 32 = 1: equal, so 0
  w.Pass();   // mode 1 follows GPIO 32: 1
  w.Pass();   // unchanged: no report
  EXPECT_EQ(reports, (std::vector<int>{0, 1}));
  EXPECT_EQ(fs().Level(33), 0);

  w.SetMode(2);
  w.Pass();  // inverse of GPIO 32: 0
  EXPECT_EQ(fs().Level(33), 1);
  fs().SetInput(32, 0);
  w.Pass();  // 1
  w.SetMode(0);
  w.Pass();  // always 1: no change
  EXPECT_EQ(reports, (std::vector<int>{0, 1, 0, 1}));

  fs().SetInput(1, 0);  // a guard line lost: state 0 without a report
  w.Pass();
  fs().SetInput(1, 1);
  w.Pass();  // back to 1: reported again
  EXPECT_EQ(reports, (std::vector<int>{0, 1, 0, 1, 1}));
}

TEST_F(DspWatcherTest, StartedThreadStops) {
  CDsp w;
  w.Init("watcher");
  Guards(1);
  EXPECT_EQ(w.Start(), 0);
  EXPECT_NE(w.thread, nullptr);
  w.Stop();
  EXPECT_EQ(w.thread, nullptr);
  EXPECT_EQ(w.running.load(), 0);
}

}  // namespace
