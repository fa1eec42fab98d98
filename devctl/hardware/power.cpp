#include "devctl/hardware/power.h"

#include <cstdio>
#include <string>
#include <thread>

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/markers.h"
#include "devctl/core/notices.h"
#include "devctl/core/presets.h"
#include "devctl/core/stored_file.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_boot.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/io_expander.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/apply_config.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_sequences.h"
#include "devctl/hardware/power_state.h"
#include "platform/clock.h"
#include "platform/storage.h"

namespace {

constexpr int kStandbyModeSleep = 0;

struct PowerSettings {
  int power;
  int standby_mode;
  int front_lcd;
};

PowerSettings Snapshot() {
  ConfigReadLock lock;  // reads only
  PowerSettings s;
  s.power = g_unit.config.power;
  s.standby_mode = g_unit.config.standby_mode;
  s.front_lcd = g_unit.config.front_lcd;
  return s;
}

// Standby: every channel muted and held so, whatever a command or a worker writes meanwhile.
void MuteAllChannels() {
  DspHoldAllMutes(kMuteHoldStandby, true);
  for (int c = 0; c < kDspChannels; ++c) {
    DspSetInputMute(c, 1);
    DspSetOutputMute(c, 1);
  }
}

// Power-on: the standby hold ends and every channel gets the mute the record holds now, under the
// lock, so a mute a command stored during the power-on sequence is the one written.
void ReleaseStandbyMutes() {
  ConfigReadLock lock;  // reads only
  DspHoldAllMutes(kMuteHoldStandby, false);
  for (int c = 0; c < kDspChannels; ++c) {
    DspSetInputMute(c, g_unit.config.InputMuteRef(c) != 0);
    DspSetOutputMute(c, g_unit.config.OutputMuteRef(c) != 0);
  }
}

// Leaving deep sleep is a reboot. When the reboot does not come, the DSPs are brought back here:
// the rail and the sleep line first (the reboot request raised the line, deep sleep cut the rail),
// then the expander pulse, the boot and the configuration.
void WakeFromDeepSleep() {
  WriteStoredFile("/oem/auto_standy", "1");
  platform::SyncFileSystems();
  RequestReboot();
  platform::SleepMs(10000);
  std::printf("reboot did not happen: bringing the DSPs up again\n");
  GpioWrite(kGpioSleep, 0);
  SetPower3v3(1);
  PulseExpanderReset(ExpanderPulse::kAfterDeepSleep);
  DspBootAll();
  platform::SleepMs(100);
  DspHoldAllMutes(kMuteHoldStandby, false);
  ApplyConfigToHardware();
}

void PowerOnPlain(const PowerSettings& s) {
  if (s.front_lcd > 0 && !g_panel.boot_screen_up) LcdInit();
  ApplyPowerToPanel();
  SetAudioMuteGpio(1);
  GpioWrite(kGpioSleep, 0);
  SetPower3v3(1);
  platform::SleepMs(100);
  IoExpInit();
  ReleaseStandbyMutes();
}

void PowerOff(const PowerSettings& s) {
  ApplyPowerToPanel();
  MuteAllChannels();
  if (s.standby_mode == kStandbyModeSleep)
    EnterDeepSleep(DeepSleepEntry::kWorkerPowerOff);
  else
    SetAudioMuteGpio(1);  // held until the next power-on
}

}  // namespace

void ApplyPowerRails(uint8_t on) {
  PowerSettings s = Snapshot();
  // What the worker carried out stays its reference: a change stored since its last pass is still
  // to be carried out (the rails alone do not mute the DSPs or draw the panel).
  g_power.settled = true;
  if (on == 0 && s.standby_mode == kStandbyModeSleep) {
    EnterDeepSleep(DeepSleepEntry::kRailsAfterBootScreen);
  } else {
    GpioWrite(kGpioSleep, 0);
    SetPower3v3(1);
  }
}

void PowerWorkerPass() {
  const bool first_pass = !g_power.settled.exchange(true);
  PowerSettings s = Snapshot();
  // A stored power value other than 0 and 1 counts as on.
  uint8_t wanted = s.power != 0;
  if (g_power.applied != wanted) {
    g_power.applied = wanted;
    if (wanted) {
      if (g_power.deep_sleep)
        WakeFromDeepSleep();
      else
        PowerOnPlain(s);
      SetAudioMuteGpio(0);
      g_power.deep_sleep = 0;
    } else {
      PowerOff(s);
    }
    // The first pass carries out a change made while the unit started: the port shows its banner
    // once, when it starts.
    if (!first_pass) ShowSerialBanner();
  }
  RunPendingRecall(PowerHoldsAudioMute());
}

void RunPowerThread() {
  platform::UseShortTimerSlack();
  for (;;) {
    PowerWorkerPass();
    platform::SleepMs(200);
  }
}

void StartPowerThread() { std::thread(RunPowerThread).detach(); }
