// The drivers' cases that run threads against each other on the simulated board: safeloads,
// setters during a boot and expander bit changes, each with every I2C transfer lingering to
// widen the windows between the transfers of one operation. They form a program of their own,
// which the ThreadSanitizer build runs (CTest label "tsan"); a new concurrency case of the
// drivers goes here.
#include <atomic>
#include <thread>
#include <vector>

#include "devctl/devices/dsp_access.h"
#include "devctl/devices/dsp_boot.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/i2c_bus.h"
#include "devctl/devices/io_expander.h"
#include "tests/support/sim_unit.h"

namespace {

// The drivers with no configuration set, as the driver tests have them.
class DspAccessTest : public testsupport::SimUnitFixture {
 protected:
  DspAccessTest() : SimUnitFixture(Drivers()) {}
};
class DspBootTest : public testsupport::SimUnitFixture {
 protected:
  DspBootTest() : SimUnitFixture(Drivers()) {}
};
class IoExpanderTest : public testsupport::SimUnitFixture {
 protected:
  IoExpanderTest() : SimUnitFixture(Drivers()) {}
};

TEST_F(DspAccessTest, SafeloadsFromManyThreadsNeverInterleave) {
  PauseInEveryTransfer();  // widens the window between a safeload's three transfers
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 1; i <= kRounds; ++i) {
        DspSafeloadWord(kDspAAddress8, uint16_t(0x100 + t), uint32_t(t << 24 | i));
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(board().dsp_a().Interleavings(), 0u);
  EXPECT_EQ(board().dsp_a().Safeloads().size(), size_t(kThreads * kRounds));
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(board().dsp_a().Word(uint16_t(0x100 + t)), uint32_t(t << 24 | kRounds));
  }
}

TEST_F(DspBootTest, SettersDuringABootNeverBreakIntoIt) {
  PauseInEveryTransfer();
  std::atomic<bool> booting{true};
  std::vector<std::thread> setters;
  for (int t = 0; t < 4; ++t) {
    setters.emplace_back([t, &booting] {
      int i = 0;
      do {
        DspSetInputGain(t * 3 + 1, i % 20);  // channels on both DSPs
        DspSetOutputVolume(t * 3 + 2, i % 100);
        ++i;
      } while (booting.load());
      DspSetOutputMute(t * 3, false);
    });
  }
  DspBootAll();
  booting = false;
  for (auto& s : setters) s.join();
  EXPECT_EQ(board().dsp_a().Interleavings(), 0u);
  EXPECT_EQ(board().dsp_b().Interleavings(), 0u);
  // The writes made after the boot stay.
  EXPECT_EQ(board().dsp_a().Word(0x1B33), 0x01000000u);
  EXPECT_EQ(board().dsp_b().Word(0x3235), 0x01000000u);
}

TEST_F(IoExpanderTest, ConcurrentBitChangesAllSurvive) {
  PauseInEveryTransfer();
  std::vector<std::thread> threads;
  for (unsigned ch = 0; ch < 4; ++ch) {
    threads.emplace_back([ch] {
      for (int i = 0; i < 300; ++i) IoExpSetPhantom(ch, i % 2);
      IoExpSetPhantom(ch, ch % 2 == 0);  // inputs 1 and 3 end on
    });
  }
  threads.emplace_back([] {
    for (int i = 0; i < 300; ++i) IoExpSetResetLine(unsigned(i % 2), i % 3);
    IoExpSetResetLine(0, 1);
    IoExpSetResetLine(1, 0);
    IoExpSetEnableLine(1);
  });
  threads.emplace_back([] {
    for (int i = 0; i < 300; ++i) SetAnalogGainRange(unsigned(i % 4), i % 40 - 20);
    for (unsigned ch = 0; ch < 4; ++ch) SetAnalogGainRange(ch, 20);
  });
  for (auto& t : threads) t.join();
  EXPECT_EQ(board().expander(0x1F)->Output(), 0xA0 | 0x08 | 0x02);
  EXPECT_EQ(board().expander(0x18)->Output(), 0xFF);
}

}  // namespace
