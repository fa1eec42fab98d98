#include "devctl/hardware/usb_port.h"

#include <thread>

#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/gpio.h"
#include "devctl/hardware/buttons.h"
#include "devctl/hardware/panel_state.h"
#include "platform/clock.h"


namespace {

constexpr int kUsbLeft = 12;
constexpr int kUsbRight = 13;
constexpr int kSettlePolls = 500;

int SelectedPort() {
  ConfigReadLock lock;  // reads only
  return g_unit.config.usb_status;
}

// The USB inputs muted and held so while the port switches.
void MuteUsbInputs() {
  for (int c : {kUsbLeft, kUsbRight}) {
    DspHoldInputMute(c, kMuteHoldUsbSwitch, true);
    DspSetInputMute(c, true);
  }
}

// The switch is done: each input gets the mute stored now (still held in standby).
void RestoreUsbMutes() {
  ConfigReadLock lock;  // reads only
  for (int c : {kUsbLeft, kUsbRight}) {
    DspHoldInputMute(c, kMuteHoldUsbSwitch, false);
    DspSetInputMute(c, g_unit.config.usb_input_mute[c - kUsbLeft] != 0);
  }
}

void PulseUsbReset() {
  platform::SleepMs(100);
  SetUsbResetGpios(0);
  platform::SleepMs(100);
  SetUsbResetGpios(1);
}

}  // namespace

int WaitUsbPortChange(int old, int polls) {
  for (int i = 0; i < polls; ++i) {
    platform::SleepMs(10);
    if (SelectedPort() != old) return 1;
  }
  return 0;
}

void InitUsbPortWorker(UsbPortWorker* w) {
  for (int gpio : {kGpioUsbBDetect, kGpioUsbCDetect, kGpioUsbButton}) {
    GpioOpen(gpio);
    GpioSetIn(gpio);
  }
  w->last_b = GpioRead(kGpioUsbBDetect);
  w->last_c = GpioRead(kGpioUsbCDetect);
}

void UsbPortWorkerPass(UsbPortWorker* w) {
  platform::SleepMs(500);

  int port = SelectedPort();
  if (port != w->applied && g_panel.reset_key_blink == 0) {
    w->applied = port;
    MuteUsbInputs();
    PulseUsbReset();
    platform::SleepMs(100);
    SetUsbPortLeds(port);
    if (WaitUsbPortChange(port, kSettlePolls)) return;
    RestoreUsbMutes();
  }

  const int b = GpioRead(kGpioUsbBDetect);
  const int c = GpioRead(kGpioUsbCDetect);
  const bool usb_b = SelectedPort() != 0;
  int* last = usb_b ? &w->last_b : &w->last_c;
  const int level = usb_b ? b : c;
  if (level != *last) {
    MuteUsbInputs();
    PulseUsbReset();
    if (WaitUsbPortChange(w->applied, kSettlePolls)) return;
    RestoreUsbMutes();
  }
  *last = level;

  if (g_panel.reset_key_blink == 1) {
    w->blink ^= 1;
    SetBothUsbLeds(w->blink);
  }
}

void RunUsbPortThread() {
  platform::UseShortTimerSlack();
  UsbPortWorker worker;
  InitUsbPortWorker(&worker);
  for (;;) UsbPortWorkerPass(&worker);
}

void StartUsbPortThread() { std::thread(RunUsbPortThread).detach(); }
