#include "devctl/hardware/auto_standby.h"

#include <string>
#include <thread>

#include "devctl/core/config_lock.h"
#include "devctl/core/unit_commit.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/hardware/power_state.h"
#include "platform/clock.h"

void AutoStandby::Pass(bool signal) {
  int standbytime;
  int power;
  std::string model;
  {
    ConfigReadLock lock;  // reads only
    standbytime = g_unit.config.standbytime;
    power = g_unit.config.power;
    model = g_unit.config.model;
  }
  const uint32_t full = uint32_t(standbytime) * 120u;
  if (signal) {
    if (entered_) {
      if (g_power.auto_standby_state != 1) {
        g_power.auto_standby_state = 1;
        CommitUnitChange([&model](UnitNotice& notice) {
          g_unit.config.power = 1;
          notice.lines = "\r\n" + model + ">" + "Signal detected, the system is waking up\r\n";
          return true;
        });
        ticks_ = 0;
      }
    } else if (g_power.auto_standby_state == 2) {
      ticks_ = full;
    }
    return;
  }
  if (g_power.auto_standby_state == 1) {
    if (standbytime != 0) {
      ticks_ = full;
      g_power.auto_standby_state = 2;
      entered_ = false;
    }
  } else if (g_power.auto_standby_state == 2) {
    if (ticks_ != 0) {
      --ticks_;
    } else if (power == 1) {
      entered_ = true;
      CommitUnitChange([&model](UnitNotice& notice) {
        g_unit.config.power = 0;
        for (int c = 0; c < kDspChannels; ++c) DspSetOutputMute(c, 1);
        notice.lines = "\r\n" + model + ">" + "No signal input, the system enters auto standby\r\n";
        return true;
      });
      --ticks_;
    } else {
      entered_ = false;
      --ticks_;
    }
  }
}

void RunAutoStandbyThread() {
  platform::UseShortTimerSlack();
  AutoStandby standby;
  bool signal = DspDetectSignal() != 0;
  for (;;) {
    standby.Pass(signal);
    platform::SleepMs(500);
    signal = DspDetectSignal() != 0;
  }
}

void StartAutoStandbyThread() { std::thread(RunAutoStandbyThread).detach(); }
