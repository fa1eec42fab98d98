#include "devctl/devices/dsp_watcher.h"

#include <pthread.h>

#include "devctl/devices/gpio.h"
#include "platform/clock.h"

namespace {

constexpr int kInputs[] = {134, 135, 0, 1, 32};
constexpr int kModeLine = 33;
constexpr int kPeriodMs = 100;

void OpenOutput(int gpio) {
  GpioOpen(gpio);
  GpioSetOut(gpio);
}

}  // namespace

CDsp::~CDsp() { Stop(); }

CDsp& UnitDspWatcher() {
  static CDsp watcher;
  return watcher;
}

void CDsp::Init(const std::string& thread_name) {
  name = thread_name;
  running = 0;
  for (int line : kInputs) {
    GpioOpen(line);
    GpioSetIn(line);
  }
  OpenOutput(18);
  GpioWrite(18, 1);
  OpenOutput(kModeLine);
  OpenOutput(35);
  GpioWrite(35, 1);
}

int CDsp::Start() {
  if (thread != nullptr) return 0;
  running = 1;
  thread = new std::thread([this] { Run(); });
  pthread_setname_np(thread->native_handle(), name.substr(0, 15).c_str());
  return 0;
}

void CDsp::Stop() {
  running = 0;
  if (thread == nullptr) return;
  if (thread->joinable()) thread->join();
  delete thread;
  thread = nullptr;
}

void CDsp::Run() {
  platform::UseShortTimerSlack();
  Begin();
  while (running) {
    Pass();
    platform::SleepMs(kPeriodMs);
  }
}

CDsp::Levels CDsp::ReadLines() {
  return Levels{GpioRead(134), GpioRead(135), GpioRead(0), GpioRead(1), GpioRead(32)};
}

void CDsp::Report(int state) {
  state_ = state;
  if (on_state) on_state(state);
}

void CDsp::Begin() {
  Levels l = ReadLines();
  if (l.g134 == 0) {
    Report(0);
  } else {
    Report(mode.load() != uint32_t(l.g32) ? 1 : 0);
  }
}

void CDsp::Pass() {
  uint32_t m = mode.load();
  if (m != applied_mode_) {
    applied_mode_ = m;
    if (m == 2) GpioWrite(kModeLine, 1);
    if (m == 0 || m == 1) GpioWrite(kModeLine, 0);
    platform::SleepMs(kPeriodMs);
  }
  Levels l = ReadLines();
  if (l.g134 == 0 || !(l.g135 != 0 && l.g0 != 0) || l.g1 == 0) {
    state_ = 0;  // guard lines lost: no report
    return;
  }
  int state = state_;
  if (m == 0) state = 1;
  if (m == 1) state = l.g32 != 0 ? 1 : 0;
  if (m == 2) state = l.g32 != 0 ? 0 : 1;
  if (state != state_) Report(state);
}
