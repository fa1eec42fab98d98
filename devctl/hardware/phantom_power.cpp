#include "devctl/hardware/phantom_power.h"

#include <thread>

#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/io_expander.h"
#include "platform/clock.h"

namespace {

constexpr int kInputs = 4;

int Setting(int ch) {
  ConfigReadLock lock;  // reads only
  return g_unit.config.analogue_input_phantom[ch];
}

// The window ends: the input gets the mute stored now, changes made meanwhile included.
void ReleasePhantomHold(int ch) {
  ConfigReadLock lock;  // reads only
  DspHoldInputMute(ch, kMuteHoldPhantom, false);
  DspSetInputMute(ch, g_unit.config.analogue_input_mute[ch] != 0);
}

[[noreturn]] void RunWorker(int ch) {
  platform::UseShortTimerSlack();
  PhantomWorker worker;
  worker.ch = ch;
  for (;;) PhantomWorkerPass(&worker);
}

}  // namespace

void InitPhantomPower() {
  IoExpInit();
  for (int gpio : kGpioPhantom) {
    GpioOpen(gpio);
    GpioSetOut(gpio);
  }
  for (int ch = 0; ch < kInputs; ++ch) SetPhantomGpio(ch, uint8_t(Setting(ch) != 0));
}

int WaitPhantomChange(uint32_t value, int ch, int ms) {
  if (ms <= 9) return 0;
  for (int i = 0; i < ms / 10; ++i) {
    platform::SleepMs(9);
    if (uint32_t(Setting(ch)) != value) return 1;
  }
  return 0;
}

void PhantomWorkerPass(PhantomWorker* w) {
  const int ch = w->ch;
  int s = Setting(ch);
  if (s == w->last && !w->force) {
    platform::SleepMs(500);
    return;
  }
  // The protective muted window: nothing unmutes the input until the switch has settled.
  DspHoldInputMute(ch, kMuteHoldPhantom, true);
  for (;;) {
    DspSetInputMute(ch, true);
    if (WaitPhantomChange(uint32_t(s), ch, 1000)) {
      s = Setting(ch);
      continue;
    }
    IoExpSetPhantom(unsigned(ch), s);
    if (WaitPhantomChange(uint32_t(s), ch, 50)) {
      s = Setting(ch);
      continue;
    }
    if (WaitPhantomChange(uint32_t(s), ch, 3000)) {
      if (s == 0) {
        // Switched off and changed again while the supply settles: start over from the top.
        w->force = true;
        w->last = 0;
        return;  // the hold stays on: the next pass starts the window again
      }
      s = Setting(ch);
      continue;
    }
    if (WaitPhantomChange(uint32_t(s), ch, 1000)) {
      s = Setting(ch);
      continue;
    }
    break;
  }
  ReleasePhantomHold(ch);
  w->last = s;
  w->force = false;
  platform::SleepMs(500);
}

void RunPhantomThread1() { RunWorker(0); }
void RunPhantomThread2() { RunWorker(1); }
void RunPhantomThread3() { RunWorker(2); }
void RunPhantomThread4() { RunWorker(3); }

void StartPhantomThreads() {
  std::thread(RunPhantomThread1).detach();
  std::thread(RunPhantomThread2).detach();
  std::thread(RunPhantomThread3).detach();
  std::thread(RunPhantomThread4).detach();
}
