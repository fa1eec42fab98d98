#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/io_expander.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/buttons.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/phantom_power.h"
#include "devctl/hardware/power.h"
#include "devctl/hardware/power_state.h"
#include "devctl/hardware/usb_port.h"
#include "tests/support/sim_unit.h"

namespace {

constexpr uint32_t kMuted = 0;
constexpr uint32_t kUnmuted = 0x01000000;
constexpr uint16_t kInput2MuteCell = 0x136;
constexpr uint16_t kUsbMuteCells[2] = {0x40EF, 0x40F0};

// A fake clock that runs a hook once the time slept passes a mark.
class HookClock : public platform::FakeClock {
 public:
  void SleepUs(int64_t us) override {
    platform::FakeClock::SleepUs(us);
    if (hook_ && SleptUs() >= mark_us_) {
      auto hook = hook_;
      hook_ = nullptr;
      hook();
    }
  }
  void At(int64_t ms, std::function<void()> hook) {
    mark_us_ = SleptUs() + ms * 1000;
    hook_ = std::move(hook);
  }

 private:
  int64_t mark_us_ = 0;
  std::function<void()> hook_;
};

class Workers : public testsupport::SimUnitFixture {
 protected:
  Workers() : SimUnitFixture(Panel()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    platform::SetClock(&hook_clock_);
    ResetAppConfig("", &g_unit.config, "");
    IoExpResetShadows();
    InitPowerGpios();
    InitPhantomPower();
    board().expander(kIoExpPower)->ClearJournal();
    g_panel.reset_key_blink = 0;
  }
  void TearDown() override {
    g_panel.reset_key_blink = 0;
    SimUnitFixture::TearDown();
  }
  uint8_t PowerExpander() { return board().expander(kIoExpPower)->Output(); }
  uint32_t Cell(uint16_t address) { return board().dsp_a().Word(address); }

  HookClock hook_clock_;
};

TEST_F(Workers, PhantomSwitchesInsideAMutedWindow) {
  g_unit.config.analogue_input_phantom[1] = 1;
  PhantomWorker worker;
  worker.ch = 1;
  bool muted_before_switch = false, switched_at_one_second = false;
  hook_clock_.At(800, [&] {
    muted_before_switch = Cell(kInput2MuteCell) == kMuted && (PowerExpander() & 0x40) == 0;
    hook_clock_.At(200, [&] { switched_at_one_second = (PowerExpander() & 0x40) != 0; });
  });
  int64_t before = hook_clock_.SleptUs();
  PhantomWorkerPass(&worker);
  EXPECT_TRUE(muted_before_switch);
  EXPECT_TRUE(switched_at_one_second);
  EXPECT_EQ(Cell(kInput2MuteCell), kUnmuted);
  EXPECT_EQ(PowerExpander() & 0xB0, 0);  // the other inputs' supplies untouched
  // 0.9 of 1000 + 50 + 3000 + 1000 ms in sleeps, then the 500 ms pause.
  EXPECT_NEAR(hook_clock_.SleptUs() - before, 5045000, 20000);
  EXPECT_EQ(worker.last, 1);

  // Nothing changed: only the pause.
  before = hook_clock_.SleptUs();
  PhantomWorkerPass(&worker);
  EXPECT_EQ(hook_clock_.SleptUs() - before, 500000);
}

TEST_F(Workers, PhantomTurnedOnAndOffQuicklyEndsOff) {
  g_unit.config.analogue_input_phantom[1] = 1;
  g_unit.config.analogue_input_mute[1] = 1;
  PhantomWorker worker;
  worker.ch = 1;
  worker.last = 0;
  hook_clock_.At(300, [] { g_unit.config.analogue_input_phantom[1] = 0; });
  PhantomWorkerPass(&worker);
  EXPECT_EQ(worker.last, 0);
  EXPECT_EQ(PowerExpander() & 0x40, 0);
  for (const auto& w : board().expander(kIoExpPower)->OutputHistory()) EXPECT_EQ(w.value & 0x40, 0);
  EXPECT_EQ(Cell(kInput2MuteCell), kMuted);  // the configured mute
}

TEST_F(Workers, PhantomWaitEndsOnAChange) {
  g_unit.config.analogue_input_phantom[2] = 1;
  int64_t before = hook_clock_.SleptUs();
  EXPECT_EQ(WaitPhantomChange(1, 2, 9), 0);
  EXPECT_EQ(hook_clock_.SleptUs(), before);
  EXPECT_EQ(WaitPhantomChange(1, 2, 1000), 0);
  EXPECT_EQ(hook_clock_.SleptUs() - before, 900000);
  EXPECT_EQ(WaitPhantomChange(0, 2, 1000), 1);
}

TEST_F(Workers, UsbPortChangeResetsTheInterfaceInsideAMutedWindow) {
  UsbPortWorker worker;
  InitUsbPortWorker(&worker);
  worker.applied = 1;
  g_unit.config.usb_status = 0;
  bool muted = false;
  hook_clock_.At(1000, [&] { muted = Cell(kUsbMuteCells[0]) == kMuted; });
  fs().ClearHistory();
  UsbPortWorkerPass(&worker);
  EXPECT_TRUE(muted);
  EXPECT_EQ(worker.applied, 0);
  EXPECT_EQ(fs().Level(kGpioUsbSelect), 1);
  EXPECT_EQ(fs().LedValue("gpio1_c0"), 255);
  auto pulses = fs().History(kGpioUsbReset1);
  ASSERT_EQ(pulses.size(), 2u);
  EXPECT_EQ(pulses[0].level, 0);
  EXPECT_EQ(pulses[1].level, 1);
  for (uint16_t cell : kUsbMuteCells) EXPECT_EQ(Cell(cell), kUnmuted);
}

TEST_F(Workers, CableOnTheSelectedPortOnlyPulsesTheReset) {
  g_unit.config.usb_status = 1;
  fs().SetInput(kGpioUsbBDetect, 1);
  fs().SetInput(kGpioUsbCDetect, 1);
  UsbPortWorker worker;
  InitUsbPortWorker(&worker);
  worker.applied = 1;
  fs().ClearHistory();
  fs().SetInput(kGpioUsbCDetect, 0);  // the other port: nothing
  UsbPortWorkerPass(&worker);
  EXPECT_TRUE(fs().History(kGpioUsbReset1).empty());
  fs().SetInput(kGpioUsbBDetect, 0);
  UsbPortWorkerPass(&worker);
  EXPECT_EQ(fs().History(kGpioUsbReset1).size(), 2u);
  EXPECT_TRUE(fs().History(kGpioUsbSelect).empty());
}

TEST_F(Workers, PortChangeWaitsForTheResetKeyAndTheIndicatorsBlink) {
  UsbPortWorker worker;
  InitUsbPortWorker(&worker);
  g_unit.config.usb_status = 1;
  g_panel.reset_key_blink = 1;
  UsbPortWorkerPass(&worker);
  EXPECT_EQ(worker.applied, 0);
  EXPECT_EQ(fs().LedValue("gpio1_b7"), 255);
  EXPECT_EQ(fs().LedValue("gpio1_c0"), 255);
  UsbPortWorkerPass(&worker);
  EXPECT_EQ(fs().LedValue("gpio1_b7"), 0);
  g_panel.reset_key_blink = 0;
  UsbPortWorkerPass(&worker);
  EXPECT_EQ(worker.applied, 1);
}

// What a command does to an input's mute: the record, then the DSP.
void CommandSetsInputMute(int ch, int mute) {
  g_unit.config.InputMuteRef(ch) = mute;
  DspSetInputMute(ch, mute != 0);
}

TEST_F(Workers, AChangeInsideThePhantomWindowIsAppliedWhenItEnds) {
  g_unit.config.analogue_input_phantom[1] = 1;
  g_unit.config.analogue_input_mute[1] = 1;
  PhantomWorker worker;
  worker.ch = 1;
  bool held = false;
  // A user unmutes the input while the supply switches: stored now, heard only once it settled.
  hook_clock_.At(500, [&] {
    CommandSetsInputMute(1, 0);
    held = Cell(kInput2MuteCell) == kMuted;
  });
  PhantomWorkerPass(&worker);
  EXPECT_TRUE(held);
  EXPECT_EQ(Cell(kInput2MuteCell), kUnmuted);
}

class StandbyMutes : public Workers {
 protected:
  void SetUp() override {
    Workers::SetUp();
    LcdInit();
    InitFrontLeds();
    g_power.applied = 1;
    g_power.deep_sleep = 0;
    g_unit.config.standby_mode = 1;
  }
  void TearDown() override {
    g_power.applied = 0;
    Workers::TearDown();
  }
  void EnterStandby() {
    g_unit.config.power = 0;
    PowerWorkerPass();
  }
  // Every input and output mute cell of both DSPs still muted.
  void ExpectEverythingMuted(const std::string& what) {
    for (int c = 0; c < kDspChannelCount; ++c) {
      sim::SimDsp& dsp = (c >= 4 && c <= 11) ? board().dsp_b() : board().dsp_a();
      EXPECT_EQ(dsp.Word(uint16_t(g_dsp_input_mute_addr[c])), kMuted) << what << ": input " << c;
      EXPECT_EQ(dsp.Word(uint16_t(g_dsp_output_mute_addr[c])), kMuted) << what << ": output " << c;
    }
  }
};

TEST_F(StandbyMutes, NothingIsHeardInStandbyAndPowerOnPlaysTheRecord) {
  UsbPortWorker usb;
  InitUsbPortWorker(&usb);
  usb.applied = 1;
  EnterStandby();
  ExpectEverythingMuted("standby");

  const std::pair<const char*, std::function<void()>> changes[] = {
      {"an unmute command", [] { CommandSetsInputMute(0, 0); }},
      {"a USB port switch",
       [&] {
         g_unit.config.usb_status = 1;
         UsbPortWorkerPass(&usb);
       }},
      {"a USB cable change",
       [&] {
         fs().SetInput(kGpioUsbCDetect, 1);
         UsbPortWorkerPass(&usb);
         fs().SetInput(kGpioUsbCDetect, 0);
         UsbPortWorkerPass(&usb);
       }},
      {"a phantom switch",
       [] {
         g_unit.config.analogue_input_phantom[1] = 1;
         PhantomWorker worker;
         worker.ch = 1;
         PhantomWorkerPass(&worker);
       }},
  };
  for (const auto& [what, change] : changes) {
    change();
    ExpectEverythingMuted(what);
  }

  g_unit.config.power = 1;
  PowerWorkerPass();
  EXPECT_EQ(Cell(uint16_t(g_dsp_input_mute_addr[0])), kUnmuted);
  EXPECT_EQ(Cell(kInput2MuteCell), kUnmuted);
  for (uint16_t cell : kUsbMuteCells) EXPECT_EQ(Cell(cell), kUnmuted);
}

TEST_F(StandbyMutes, PowerOnWritesTheMuteStoredDuringItsWait) {
  EnterStandby();
  g_unit.config.power = 1;
  // A mute command lands while the power-on sequence waits for the rail.
  hook_clock_.At(50, [] { CommandSetsInputMute(0, 1); });
  PowerWorkerPass();
  EXPECT_EQ(Cell(uint16_t(g_dsp_input_mute_addr[0])), kMuted);
  EXPECT_EQ(Cell(kInput2MuteCell), kUnmuted);
}

}  // namespace
